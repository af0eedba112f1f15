// The per-thread wait hook: what a thread does while one of its sockets waits.
//
// Every blocking socket call of the library sleeps in poll(2) until its socket
// is ready. A thread that drives a user interface installs a hook (a Qt GUI
// installs one that calls QCoreApplication::processEvents) and the wait then
// wakes every kHookPeriodMs to run it, so windows stay alive while an FTP
// transfer blocks. Code run from the hook may read progress counters, set
// abort flags, or cancel the wait with CancelBlockingCall(); the waiting call
// then fails with last error 10004 (WSAEINTR).
//
// The hook is not re-entered: a wait started from inside the hook (another
// socket's blocking call) sleeps without calling it again, so nesting stays
// bounded at one level.
#pragma once

#include <functional>

namespace velkor {

using WaitHook = std::function<void()>;

// How often a waiting socket wakes to run the thread's wait hook.
inline constexpr int kHookPeriodMs = 20;

// Installs the calling thread's wait hook and returns the previous one. An
// empty function removes it.
WaitHook SetWaitHook(WaitHook hook);

// True when the calling thread has a wait hook installed.
bool HasWaitHook();

// Asks the wait that is running on the calling thread (or the next one to
// start) to give up; the blocking call fails with 10004. Meant to be called
// from the wait hook.
void CancelBlockingCall();

// Installs a hook for the life of a scope and restores the previous one.
class ScopedWaitHook {
public:
    explicit ScopedWaitHook(WaitHook hook) : m_previous(SetWaitHook(std::move(hook))) {}
    ~ScopedWaitHook() { SetWaitHook(std::move(m_previous)); }
    ScopedWaitHook(const ScopedWaitHook&) = delete;
    ScopedWaitHook& operator=(const ScopedWaitHook&) = delete;
    // The hook this one replaced, for a hook that adds to it.
    const WaitHook& Previous() const { return m_previous; }

private:
    WaitHook m_previous;
};

namespace detail {

// Runs the thread's hook unless it is already running; returns false when a
// cancellation is pending (and consumes it).
bool RunWaitHookAndCheckCancel();

// For a call that did not have to wait: runs the hook when kHookPeriodMs
// have passed since it last ran (a transfer whose data never waits would
// otherwise starve the GUI); false when a cancellation is pending (and
// consumes it).
bool RunWaitHookIfDue();

// Consumes a pending cancellation; true when there was one.
bool TakeCancelRequest();

}  // namespace detail

}  // namespace velkor
