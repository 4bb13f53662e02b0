#pragma once

#include <QDateTime>

#include <chrono>
#include <ctime>
#include <thread>

namespace corvane {

// The time, and the wait that gives the system time to relaunch what a restart terminated.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    // Time since the machine started, sleep included: unlike now(), nobody sets it, so the
    // difference of two readings is how long passed, also across a sleep.
    virtual std::chrono::milliseconds sinceBoot() const = 0;
    // Blocks the calling thread for `duration`.
    virtual void sleep(std::chrono::nanoseconds duration) = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    std::chrono::milliseconds sinceBoot() const override {
        // Linux's monotonic clock stops while the machine sleeps; macOS's goes on.
#ifdef __APPLE__
        constexpr clockid_t counting = CLOCK_MONOTONIC;
#else
        constexpr clockid_t counting = CLOCK_BOOTTIME;
#endif
        timespec time{};
        clock_gettime(counting, &time);
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
    }
    void sleep(std::chrono::nanoseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

} // namespace corvane
