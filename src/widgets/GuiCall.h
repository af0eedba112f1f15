// GuiCall: one blocking server call made from the user-interface thread.
//
// While the call waits, the thread's wait hook processes Qt events, so
// windows repaint and timers fire. Those events may be user actions that
// would start another call on the same connection; every window of the
// library asks IsBusy first and ignores such an action (a connection carries
// one command at a time, so a second call would read the first one's reply).
// A window closed during the call asks Cancel: the waiting call then fails
// at once with 10004 and the window ends itself after the call returns.
#pragma once

namespace velkor {

class GuiCall {
public:
    // Starts a call on `connection` unless one is already running there.
    explicit GuiCall(const void* connection);
    ~GuiCall();
    GuiCall(const GuiCall&) = delete;
    GuiCall& operator=(const GuiCall&) = delete;

    // False when another call was running on the connection: do nothing.
    bool Entered() const { return m_entered; }
    // True when Cancel was asked for the connection during this call.
    bool Cancelled() const;

    static bool IsBusy(const void* connection);
    // Asks the running call on the connection to give up; false when none runs.
    static bool Cancel(const void* connection);

private:
    const void* m_connection;
    bool m_entered;
};

}  // namespace velkor
