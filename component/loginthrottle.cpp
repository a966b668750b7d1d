#include "loginthrottle.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace quill::component {

namespace {

void sleepFor(std::chrono::milliseconds delay)
{
    timespec left{time_t(delay.count() / 1000), long(delay.count() % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace

LoginThrottle::LoginThrottle(Wait wait) : m_wait(std::move(wait)) {}

std::chrono::milliseconds LoginThrottle::delayAfter(int failures)
{
    if (failures < kFreeFailures)
        return std::chrono::milliseconds(0);
    std::chrono::milliseconds delay = kFirstDelay;
    for (int n = kFreeFailures; n < failures && delay < kMaxDelay; ++n)
        delay *= 2;
    return std::min(delay, kMaxDelay);
}

void LoginThrottle::beforeCheck(const QString& name)
{
    int failures = 0;
    {
        const std::lock_guard lock(m_mutex);
        failures = m_failures.value(name.toCaseFolded());
    }
    if (const std::chrono::milliseconds delay = delayAfter(failures); delay.count() > 0)
        m_wait(delay);
}

void LoginThrottle::failed(const QString& name)
{
    const QString key = name.toCaseFolded();
    const std::lock_guard lock(m_mutex);
    if (!m_failures.contains(key) && m_failures.size() >= kMaxNames) {
        const auto fewest = std::min_element(m_failures.begin(), m_failures.end());
        m_failures.erase(fewest);
    }
    int& failures = m_failures[key];
    failures = std::min(failures + 1, 1000); // far past the cap: the number itself stops mattering
}

void LoginThrottle::succeeded(const QString& name)
{
    const std::lock_guard lock(m_mutex);
    m_failures.remove(name.toCaseFolded());
}

LoginThrottle& loginThrottle()
{
    static LoginThrottle throttle(sleepFor);
    return throttle;
}

} // namespace quill::component
