// Waiting in offscreen Qt tests: events keep flowing while a condition is
// awaited.
#pragma once

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>

namespace velkor::test {

// Processes events until `done` holds or `ms` pass; the last value of `done`.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace velkor::test
