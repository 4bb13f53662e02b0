#pragma once

#include "TouchBarResult.h"

#include <QThread>

#include <chrono>
#include <optional>

namespace corvane {

class TouchBarManager;

struct AwaitedRestart {
    // Empty when the completion had not arrived within the time allowed.
    std::optional<TouchBarResult> result;
    QThread* completionThread = nullptr;
};

// Starts a restart and runs the main thread's event loop, as the application would, until
// its completion arrives or `timeout` passes. Call it on the main thread.
AwaitedRestart awaitRestart(TouchBarManager& manager, std::chrono::milliseconds timeout);

} // namespace corvane
