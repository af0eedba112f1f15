#include "widgets/GuiCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <map>

#include "platform/WaitHook.h"

namespace velkor {

namespace {

struct CallState {
    bool cancelled = false;
    WaitHook previousHook;
};

// The calls running on this (the GUI) thread, by connection.
std::map<const void*, CallState>& Calls() {
    thread_local std::map<const void*, CallState> calls;
    return calls;
}

void PumpEvents() {
    for (auto& [connection, state] : Calls())
        if (state.cancelled) {
            CancelBlockingCall();
            return;
        }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    for (auto& [connection, state] : Calls())
        if (state.cancelled) CancelBlockingCall();
}

}  // namespace

GuiCall::GuiCall(const void* connection)
    : m_connection(connection), m_entered(!IsBusy(connection)) {
    if (!m_entered) return;
    CallState& state = Calls()[connection];
    state.previousHook = SetWaitHook(PumpEvents);
}

GuiCall::~GuiCall() {
    if (!m_entered) return;
    auto it = Calls().find(m_connection);
    SetWaitHook(std::move(it->second.previousHook));
    Calls().erase(it);
    // A cancellation asked after the last wait must not hit a later call.
    detail::TakeCancelRequest();
}

bool GuiCall::Cancelled() const {
    auto it = Calls().find(m_connection);
    return it != Calls().end() && it->second.cancelled;
}

bool GuiCall::IsBusy(const void* connection) { return Calls().count(connection) != 0; }

bool GuiCall::Cancel(const void* connection) {
    auto it = Calls().find(connection);
    if (it == Calls().end()) return false;
    it->second.cancelled = true;
    return true;
}

}  // namespace velkor
