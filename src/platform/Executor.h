#pragma once

#include <functional>

namespace corvane {

// Where work runs: the main thread owns every published value and every widget; slow work
// (tool runs, waits) runs in the background so the window stays responsive.
class Executor {
public:
    virtual ~Executor() = default;

    // Starts `work` on a background thread, never the main thread, and returns at once.
    // Nothing waits for background work: quitting ends it with the process.
    virtual void runInBackground(std::function<void()> work) = 0;
    // Runs `work` on the main thread and returns once it has run; inline when the caller
    // already is the main thread.
    virtual void runOnMain(std::function<void()> work) = 0;
    // Queues `work` for the main thread and returns at once.
    virtual void postToMain(std::function<void()> work) = 0;
};

} // namespace corvane
