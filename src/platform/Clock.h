#pragma once

#include <QDateTime>

#include <chrono>
#include <thread>

namespace corvane {

// The time, and the wait that gives the system time to relaunch what a restart terminated.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    // Blocks the calling thread for `duration`.
    virtual void sleep(std::chrono::nanoseconds duration) = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    void sleep(std::chrono::nanoseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

} // namespace corvane
