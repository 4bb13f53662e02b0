#pragma once

#include "Executor.h"

#include <memory>

namespace corvane {

// Runs background work on threads of its own and reaches the main thread through the
// application's event loop. Create it on the main thread, which it takes for the main thread
// from then on, once the QCoreApplication exists.
class QtExecutor final : public Executor {
public:
    QtExecutor();
    ~QtExecutor() override;
    QtExecutor(const QtExecutor&) = delete;
    QtExecutor& operator=(const QtExecutor&) = delete;

    void runInBackground(std::function<void()> work) override;
    void runOnMain(std::function<void()> work) override;
    void postToMain(std::function<void()> work) override;

private:
    class MainQueue;
    std::unique_ptr<MainQueue> mainQueue;
};

} // namespace corvane
