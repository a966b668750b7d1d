#include "cli/interruption.h"

#include <atomic>
#include <csignal>

namespace quill::cli {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void onSignal(int number)
{
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, number))
        return;
    // The next one takes the default way out.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace

void Interruption::install()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interruption::requested()
{
    return g_signal.load() != 0;
}

int Interruption::signalNumber()
{
    return g_signal.load();
}

} // namespace quill::cli
