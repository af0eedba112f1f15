#include "platform/WaitHook.h"

namespace velkor {

namespace {
thread_local WaitHook t_hook;
thread_local bool t_inHook = false;
thread_local bool t_cancelRequested = false;
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
        hook();
    }
    return !TakeCancelRequest();
}

}  // namespace detail

}  // namespace velkor
