#pragma once

#include "TouchBarManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

namespace corvane {

// Starts a restart and serves the calling thread's events, as the application's main thread
// would, until the completion has run there or `timeout` has passed; empty if it has not.
inline std::optional<TouchBarResult> awaitRestart(TouchBarManager& manager,
                                                  std::chrono::milliseconds timeout) {
    // Shared, so that a completion arriving after the timeout finds nothing dangling.
    const auto result = std::make_shared<std::optional<TouchBarResult>>();
    manager.restartTouchBar([result, caller = QThread::currentThread()](TouchBarResult done) {
        if (QThread::currentThread() == caller)
            *result = std::move(done);
    });
    QTimer tick; // wakes the loop now and then, so a lost completion cannot block it
    tick.start(std::chrono::milliseconds(100));
    for (const QDeadlineTimer deadline(timeout); !*result && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *result;
}

} // namespace corvane
