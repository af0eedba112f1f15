#include "platform/WaitHook.h"

#include <chrono>

namespace velkor {

namespace {
thread_local WaitHook t_hook;
thread_local bool t_inHook = false;
thread_local bool t_cancelRequested = false;
// When the hook last ran on this thread.
thread_local std::chrono::steady_clock::time_point t_lastRun;
}  // namespace

WaitHook SetWaitHook(WaitHook hook) {
    WaitHook previous = std::move(t_hook);
    t_hook = std::move(hook);
    return previous;
}

bool HasWaitHook() { return static_cast<bool>(t_hook); }

void CancelBlockingCall() { t_cancelRequested = true; }

namespace detail {

bool TakeCancelRequest() {
    const bool requested = t_cancelRequested;
    t_cancelRequested = false;
    return requested;
}

bool RunWaitHookAndCheckCancel() {
    if (t_hook && !t_inHook) {
        struct InHook {
            InHook() { t_inHook = true; }
            ~InHook() { t_inHook = false; }
        } inHook;
        // Copy so that a hook that replaces itself does not destroy the
        // function object it is running in.
        WaitHook hook = t_hook;
        t_lastRun = std::chrono::steady_clock::now();
        hook();
    }
    return !TakeCancelRequest();
}

bool RunWaitHookIfDue() {
    if (!t_hook || t_inHook) return true;
    if (std::chrono::steady_clock::now() - t_lastRun < std::chrono::milliseconds(kHookPeriodMs))
        return !TakeCancelRequest();
    return RunWaitHookAndCheckCancel();
}

}  // namespace detail

}  // namespace velkor
