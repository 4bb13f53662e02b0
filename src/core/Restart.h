#pragma once

#include "core/Backend.h"
#include "core/Health.h"
#include "core/TouchBarError.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace corvane {

// What a restart found and did, for the manager to take over.
struct RestartReport {
    // What the restart's own detection decided, when it made one.
    std::optional<bool> touchBarPresent;
    // The outcome: none when the Touch Bar works again.
    std::optional<TouchBarError> error;
    // What the manager keeps as its last error afterwards.
    std::optional<TouchBarError> lastError;
    // The health read before anything was done, when it was.
    std::optional<Health> healthBefore;
    // The health once the run ended, when it was read.
    std::optional<Health> health;
    // The rungs of the ladder that ran, in order: "restart" for the person's own, else the
    // administrator's verb ("reset-daemon", "reselect-display", ...). A prompt dismissed or
    // never shown ran none.
    QStringList steps;
    // The one fix an administrator could make next: the person's own way was refused, or the
    // health asks for more than a restart.
    std::optional<administrator::Fix> administratorFix;
};

// The count after one more successful restart: it stops at its largest value.
qint64 nextRestartCount(qint64 count);

// The whole fix of the Touch Bar, from the detection to the closing banner, least privilege
// first. Without a Touch Bar it touches nothing. Otherwise it reads the Touch Bar's health and
// takes the one step it asks for: missing hardware runs no tool and says what can help; a
// failed daemon or a display driver that is gone needs an administrator, which the report
// offers; anything else restarts the backend's services as the person (terminating each, or
// having systemd restart the daemon), waits two seconds for them to come back and reads the
// health again. Only when the main service came back as a new process and the Touch Bar works
// does it clear the backend's preferences and refresh its Dock, where it has them, and succeed.
// Every step is logged. `restartCount` is the count before this restart, for the closing
// banner. It blocks for every tool and the wait, and touches nothing but its arguments, so it
// runs off the GUI thread.
RestartReport restartTouchBarServices(const Services& services, const Backend& backend,
                                      qint64 restartCount);

// The same fix made by an administrator, asked once for `fix`, without detecting the Touch Bar
// again; a prompt that was dismissed or could not be shown ends it at once and leaves the fix
// on offer.
RestartReport restartAsAdministrator(const Services& services, const Backend& backend,
                                     administrator::Fix fix, qint64 restartCount);

// The fix made with nobody asked anything, as after a wake: the person's own restart, then the
// administrator's fix it offers only when `grantedUnasked` says that its prompt would ask nobody.
// Never a prompt that asks.
RestartReport fixUnasked(const Services& services, const Backend& backend, qint64 restartCount,
                         const std::function<bool(administrator::Fix)>& grantedUnasked);

// Reads the Touch Bar's health as a restart does, looking for the backend's processes first.
Health checkTouchBarHealth(const Services& services, const Backend& backend);

} // namespace corvane
