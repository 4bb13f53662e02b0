#include "core/AfterWake.h"

#include "core/TouchBarManager.h"
#include "platform/Clock.h"
#include "platform/WakeWatcher.h"

#include <algorithm>

namespace corvane {
namespace {

// What the system needs after waking to bring the Touch Bar's services back by itself.
constexpr std::chrono::seconds wakeSettling{3};

} // namespace

AfterWake::AfterWake(TouchBarManager& manager, const Clock& clock, WakeWatcher* watcher,
                     QObject* parent)
    : QObject(parent)
    , manager(manager)
    , clock(clock)
    , watcher(watcher) {
    watcher->setParent(this);
    settling.setSingleShot(true);
    settling.setInterval(wakeSettling);
    connect(watcher, &WakeWatcher::aboutToSleep, this, &AfterWake::sleep);
    connect(watcher, &WakeWatcher::woke, this, &AfterWake::wake);
    connect(&settling, &QTimer::timeout, this, [this] {
        reading = true;
        this->manager.checkHealth();
    });
    // A restart's reading that lands first is a reading after the wake as well.
    connect(&manager, &TouchBarManager::healthChanged, this, [this] {
        if (std::exchange(reading, false))
            emit healthRead(this->manager.health(), slept);
    });
}

void AfterWake::listen() {
    watcher->listen();
}

void AfterWake::sleep() {
    asleepSince = clock.sinceBoot();
    beforeSleep = manager.health().state;
}

void AfterWake::wake() {
    // The wakes of a burst after the first were not preceded by a sleep: the first one's time
    // stands.
    if (asleepSince)
        slept = std::chrono::duration_cast<std::chrono::seconds>(clock.sinceBoot() -
                                                                 *std::exchange(asleepSince, {}));
    else if (!settling.isActive()) {
        slept.reset();
        beforeSleep = HealthState::Unknown;
    }
    settling.start();
}

bool needsAttention(const Health& health) {
    // A health that could not be told is no reason to alarm anyone.
    return !health.isWorking() && health.state != HealthState::HardwareMissing &&
           health.state != HealthState::Unknown && health.state != HealthState::JournalUnread;
}

int failedWakesAfter(int failedWakes, bool afterWake, bool worked) {
    if (worked)
        return 0;
    const int failed = std::clamp(failedWakes, 0, failedWakesLimit);
    return afterWake ? std::min(failed + 1, failedWakesLimit) : failed;
}

} // namespace corvane
