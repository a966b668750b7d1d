#pragma once

#include <QHash>
#include <QString>
#include <chrono>
#include <functional>
#include <mutex>

namespace quill::component {

// Failed sign-ins to one name slow down the next: no wait after the first kFreeFailures failures in a row,
// then kFirstDelay, doubled with every further failure up to kMaxDelay; a successful sign-in forgets the
// name's failures. The wait comes before the password is checked, whatever the password, for a name that
// exists and for one that does not alike, so that it tells nothing. Names are compared without regard to
// case, as the directory compares them.
//
// Kept in the process, not in the directory database: the component only reads that database (a user
// needs no right to write it, and a file a reader writes to can be damaged by a reader), and whoever
// can run the component on a data directory can read the stored hashes anyway; what the wait stops is
// guessing through the program, one window or one batch at a time.
class LoginThrottle
{
public:
    using Wait = std::function<void(std::chrono::milliseconds)>;

    static constexpr int kFreeFailures = 3;
    static constexpr std::chrono::milliseconds kFirstDelay{1000};
    static constexpr std::chrono::milliseconds kMaxDelay{30000};
    // Names remembered at most; beyond, the one with the fewest failures is forgotten first.
    static constexpr qsizetype kMaxNames = 1024;

    explicit LoginThrottle(Wait wait);

    // The wait before the next check of a name that failed this many times in a row.
    static std::chrono::milliseconds delayAfter(int failures);

    // Waits as long as the name's failures ask.
    void beforeCheck(const QString& name);
    void failed(const QString& name);
    void succeeded(const QString& name);

private:
    Wait m_wait;
    std::mutex m_mutex;
    QHash<QString, int> m_failures; // by case-folded name
};

// The process's throttle, waiting with nanosleep(2).
LoginThrottle& loginThrottle();

} // namespace quill::component
