#include "Interruptible.h"

#include <csignal>

#include "platform/WaitHook.h"

namespace velkor::tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

int RunInterruptible(const std::function<void()>& tick, const std::function<int()>& call) {
    struct sigaction sa {}, old{};
    sa.sa_handler = OnInterrupt;
    sigaction(SIGINT, &sa, &old);
    int result;
    {
        ScopedWaitHook hook([&] {
            if (g_interrupted) CancelBlockingCall();
            if (tick) tick();
        });
        result = call();
    }
    sigaction(SIGINT, &old, nullptr);
    return result;
}

bool Interrupted() { return g_interrupted != 0; }

}  // namespace velkor::tool
