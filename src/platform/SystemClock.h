#pragma once

#include "Clock.h"

namespace corvane {

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

class ThreadSleeper final : public Sleeper {
public:
    void sleep(std::chrono::nanoseconds duration) override;
};

} // namespace corvane
