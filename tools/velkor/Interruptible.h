// Ctrl-C for the tool's blocking calls: while a call waits, `tick` runs
// (a progress bar), and Ctrl-C cancels the waiting call, which then fails;
// Interrupted() tells the caller why.
#pragma once

#include <functional>

namespace velkor::tool {

// Runs call() with SIGINT cancelling its wait; tick (may be empty) runs at
// every wait. The call's result.
int RunInterruptible(const std::function<void()>& tick, const std::function<int()>& call);
// True once Ctrl-C was pressed during a RunInterruptible call.
bool Interrupted();

}  // namespace velkor::tool
