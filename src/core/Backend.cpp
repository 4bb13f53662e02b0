#include "core/Backend.h"

#include "platform/Observation.h"

namespace corvane {
namespace {

using administrator::Fix;

Backend servicesOfMacOS(bool onlyWhileRunning) {
    return {
        QStringLiteral("macos"),
        {QStringLiteral("TouchBarServer"), QStringLiteral("NowPlayingTouchUI"),
         QStringLiteral("ControlStrip"), QStringLiteral("TouchBarAgent"),
         QStringLiteral("TouchBarUserDevice"), QStringLiteral("DFRFoundation")},
        {QStringLiteral("TouchBarServer"), QStringLiteral("ControlStrip")},
        Backend::Restart::TerminateEach,
        {},
        {QStringLiteral("com.apple.touchbar.agent"), QStringLiteral("com.apple.controlstrip"),
         QStringLiteral("com.apple.TouchBarAgent")},
        true,
        Fix::StopServices,
        {Fix::StopServices},
        onlyWhileRunning,
        false,
    };
}

} // namespace

const Backend& appleServices() {
    static const Backend backend = servicesOfMacOS(false);
    return backend;
}

const Backend& appleServicesWhereRunning() {
    static const Backend backend = servicesOfMacOS(true);
    return backend;
}

const Backend& touchBarDaemon() {
    static const Backend backend{
        QStringLiteral("tiny-dfr"),
        {QStringLiteral("tiny-dfr")},
        {QStringLiteral("tiny-dfr")},
        Backend::Restart::RestartUnit,
        QStringLiteral("tiny-dfr.service"),
        {},
        false,
        Fix::RestartDaemon,
        {Fix::RestartDaemon, Fix::ResetDaemon, Fix::ReselectDisplay, Fix::ReloadDrivers},
        false,
        true,
    };
    return backend;
}

const Backend& systemBackend(const QString& root) {
    if (touchBarDaemonInstalled(root))
        return touchBarDaemon();
#ifdef __APPLE__
    return appleServices();
#else
    return appleServicesWhereRunning();
#endif
}

} // namespace corvane
