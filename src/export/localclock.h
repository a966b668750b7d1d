#pragma once

#include <QDateTime>

namespace quill::exporting {

// The local date and time for the log's stamps. With TZ unset the C library looks at the zone file
// again for every conversion that Qt asks of it (Qt calls tzset() each time); this clock has the zone
// read when it is made and converts with localtime_r, which does not look again. Daylight saving
// still changes the offset.
class LocalClock
{
public:
    LocalClock();

    // Now, as a date-time carrying its offset from UTC: date() and time() are the local ones.
    QDateTime now() const;
    // The same for a moment in milliseconds since the epoch.
    QDateTime at(qint64 msecsSinceEpoch) const;

private:
    // An offset holds for a whole second at least: a second already converted is not converted again.
    mutable qint64 m_second = 0;
    mutable int m_offset = 0;
    mutable bool m_known = false;
};

} // namespace quill::exporting
