#pragma once

#include "core/Health.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

namespace corvane {

class Clock;
class TouchBarManager;
class WakeWatcher;

// Reads the Touch Bar's health once after the machine wakes, when the system has had a few
// seconds to bring the Touch Bar's services back by itself. Wakes close together, as a lid
// opened and shut again, or a signal repeated, make one reading. It reads and tells; what is
// done about a Touch Bar that does not work is its listeners' to decide.
class AfterWake final : public QObject {
    Q_OBJECT

public:
    // Hears the machine through `watcher`, which it takes over, and reads through `manager`;
    // `manager` and `clock` must outlive it.
    AfterWake(TouchBarManager& manager, const Clock& clock, WakeWatcher* watcher,
              QObject* parent = nullptr);

    // Starts listening for sleep and wake; call once.
    void listen();
    // The health as last read before the machine went to sleep; Unknown when its going to
    // sleep was not heard.
    HealthState healthBeforeSleep() const { return beforeSleep; }

signals:
    // The health read after a wake, and how long the machine slept before it: none when its
    // going to sleep was not heard, as when Corvane started while it slept.
    void healthRead(const corvane::Health& health, std::optional<std::chrono::seconds> slept);

private:
    void sleep();
    void wake();

    TouchBarManager& manager;
    const Clock& clock;
    WakeWatcher* watcher;
    QTimer settling;
    std::optional<std::chrono::milliseconds> asleepSince;
    std::optional<std::chrono::seconds> slept;
    HealthState beforeSleep = HealthState::Unknown;
    bool reading = false;
};

// Whether a reading is worth telling the person, or acting on unasked: the Touch Bar is known
// not to work, and not for want of hardware that no fix brings back.
bool needsAttention(const Health& health);

// The automatic fix after a wake gives up after this many failed wakes in a row.
inline constexpr int failedWakesLimit = 3;

// The failed wakes in a row once a fix ended: any fix that worked clears them, however it was
// started; one after a wake that failed adds one; a person's own that failed leaves them. What
// was saved before may be anything: below zero reads as none, and the count stops at the limit.
int failedWakesAfter(int failedWakes, bool afterWake, bool worked);

} // namespace corvane
