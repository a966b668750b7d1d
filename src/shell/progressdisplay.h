#pragma once

#include <QPointer>
#include <QString>

class QWidget;

namespace quill::shell {

class ProgressWindow;

// Shows the program's progress window: at most one is open at a time, centred over the host window
// (the main window; none centres it on the screen). Every change is painted before the call returns,
// since the caller keeps the thread busy. Owned by whoever runs the program and handed to the
// commands that report progress.
class ProgressDisplay
{
public:
    ProgressDisplay() = default;
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    void setHost(QWidget* host) { m_host = host; }

    // Opens the window with its default message and an empty bar; nothing when one is open.
    void show();
    // Opens the window with the message alone; nothing when one is open.
    void showText(const QString& text);
    void setText(const QString& text);
    void setProgress(qint32 max, qint32 position);
    // Closes and frees the window at once.
    void close();

    // The open window, or nullptr.
    ProgressWindow* window() const { return m_window; }

private:
    ProgressWindow* open();
    void repaint();

    QPointer<QWidget> m_host;
    ProgressWindow* m_window = nullptr;
};

} // namespace quill::shell
