#pragma once

#include <QDateTime>

#include <chrono>

namespace corvane {

class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
};

class Sleeper {
public:
    virtual ~Sleeper() = default;

    // Blocks the calling thread for `duration`.
    virtual void sleep(std::chrono::nanoseconds duration) = 0;
};

} // namespace corvane
