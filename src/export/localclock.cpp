#include "export/localclock.h"

#include <ctime>

namespace quill::exporting {

LocalClock::LocalClock()
{
    tzset();
}

QDateTime LocalClock::now() const
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return at(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

QDateTime LocalClock::at(qint64 msecsSinceEpoch) const
{
    const qint64 second = msecsSinceEpoch >= 0 ? msecsSinceEpoch / 1000 : -((999 - msecsSinceEpoch) / 1000);
    if (!m_known || second != m_second) {
        const time_t t = time_t(second);
        tm local{};
        if (!localtime_r(&t, &local))
            return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
        m_second = second;
        m_offset = int(local.tm_gmtoff);
        m_known = true;
    }
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::OffsetFromUTC, m_offset);
}

} // namespace quill::exporting
