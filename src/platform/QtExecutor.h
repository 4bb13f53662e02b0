#pragma once

#include "Executor.h"

namespace corvane {

// Runs background work on threads of its own and reaches the main thread through the
// application's event loop. Needs a QCoreApplication.
class QtExecutor final : public Executor {
public:
    void runInBackground(std::function<void()> work) override;
    void runOnMain(std::function<void()> work) override;
    void postToMain(std::function<void()> work) override;
};

} // namespace corvane
