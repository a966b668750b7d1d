#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <cstdio>
#include <map>

namespace quill::cli {

// The lines on the terminal: one per view being exported (documents done, documents a second, time
// left), redrawn in place, with the messages printed above them. Without a terminal it draws nothing
// and only prints the messages. Safe to use from several threads; redraw() belongs to one.
class ProgressBoard
{
public:
    // stream: where the messages go; live: whether it is a terminal to draw the lines on.
    ProgressBoard(FILE* stream, bool live);

    int begin(const QString& label, qint64 total);
    // done counts the documents of workbooks found complete from an earlier run too; the rate only
    // the ones exported now.
    void update(int slot, qint64 done, qint64 exportedNow);
    void end(int slot);

    void message(const QString& text);
    void redraw();
    // Leaves the terminal as it was before the lines were drawn.
    void clear();

private:
    struct Slot
    {
        QString label;
        qint64 total = 0;
        qint64 done = 0;
        qint64 exportedNow = 0;
        QElapsedTimer clock;
    };

    QString lineOf(const Slot& slot) const;
    void erase();
    void write(const QString& text);

    FILE* m_stream;
    bool m_live;
    QMutex m_mutex;
    std::map<int, Slot> m_slots;
    int m_nextSlot = 0;
    int m_drawnLines = 0;
};

} // namespace quill::cli
