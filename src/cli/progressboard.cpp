#include "cli/progressboard.h"

#include <QLocale>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

int terminalColumns(FILE* stream)
{
    winsize size = {};
    if (::ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The text cut to fit the columns, Chinese characters counting two; a line that wrapped would spoil
// the redrawing.
QString fitted(const QString& text, int columns)
{
    int used = 0;
    QString out;
    for (const char32_t c : text.toUcs4()) {
        const int width = isWide(c) ? 2 : 1;
        if (used + width > columns)
            break;
        used += width;
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

QString duration(qint64 seconds)
{
    return QString::asprintf("%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

} // namespace

ProgressBoard::ProgressBoard(FILE* stream, bool live) : m_stream(stream), m_live(live) {}

int ProgressBoard::begin(const QString& label, qint64 total)
{
    const QMutexLocker locker(&m_mutex);
    Slot& slot = m_slots[m_nextSlot];
    slot.label = label;
    slot.total = total;
    slot.clock.start();
    return m_nextSlot++;
}

void ProgressBoard::update(int slot, qint64 done, qint64 exportedNow)
{
    const QMutexLocker locker(&m_mutex);
    if (const auto it = m_slots.find(slot); it != m_slots.end()) {
        it->second.done = done;
        it->second.exportedNow = exportedNow;
    }
}

void ProgressBoard::end(int slot)
{
    const QMutexLocker locker(&m_mutex);
    m_slots.erase(slot);
}

QString ProgressBoard::lineOf(const Slot& slot) const
{
    // The figures first: a narrow terminal cuts the end of the line.
    const QLocale c(QLocale::Chinese, QLocale::China);
    const qint64 percent = slot.total > 0 ? slot.done * 100 / slot.total : 100;
    QString line = c.toString(slot.done) + u'/' + c.toString(slot.total) + u" ("_s + QString::number(percent) + u"%)"_s;
    const double seconds = double(slot.clock.elapsed()) / 1000.0;
    if (seconds >= 1.0 && slot.exportedNow > 0) {
        const double rate = double(slot.exportedNow) / seconds;
        line += u"  "_s + c.toString(qint64(rate)) + u"个文档/秒  剩余"_s +
                duration(qint64(double(slot.total - slot.done) / rate));
    }
    return line + u"  "_s + slot.label;
}

void ProgressBoard::erase()
{
    if (m_drawnLines > 0)
        std::fprintf(m_stream, "\x1b[%dF\x1b[J", m_drawnLines);
    m_drawnLines = 0;
}

void ProgressBoard::write(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
}

void ProgressBoard::message(const QString& text)
{
    const QMutexLocker locker(&m_mutex);
    if (m_live)
        erase();
    write(text + u'\n');
    std::fflush(m_stream);
}

void ProgressBoard::redraw()
{
    if (!m_live)
        return;
    const QMutexLocker locker(&m_mutex);
    erase();
    const int columns = terminalColumns(m_stream) - 1;
    QString lines;
    for (const auto& [id, slot] : m_slots)
        lines += fitted(lineOf(slot), columns) + u'\n';
    write(lines);
    m_drawnLines = int(m_slots.size());
    std::fflush(m_stream);
}

void ProgressBoard::clear()
{
    if (!m_live)
        return;
    const QMutexLocker locker(&m_mutex);
    erase();
    std::fflush(m_stream);
}

} // namespace quill::cli
