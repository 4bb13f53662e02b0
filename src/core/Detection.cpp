#include "core/Detection.h"

#include "core/LogFormat.h"

#include <algorithm>
#include <array>

namespace corvane {
namespace {

constexpr std::array<QLatin1StringView, 14> touchBarModels = {
    QLatin1StringView("MacBookPro13,2"), QLatin1StringView("MacBookPro13,3"),
    QLatin1StringView("MacBookPro14,2"), QLatin1StringView("MacBookPro14,3"),
    QLatin1StringView("MacBookPro15,1"), QLatin1StringView("MacBookPro15,2"),
    QLatin1StringView("MacBookPro15,3"), QLatin1StringView("MacBookPro15,4"),
    QLatin1StringView("MacBookPro16,1"), QLatin1StringView("MacBookPro16,2"),
    QLatin1StringView("MacBookPro16,3"), QLatin1StringView("MacBookPro16,4"),
    QLatin1StringView("MacBookPro17,1"), QLatin1StringView("Mac14,7"),
};

} // namespace

QString getModelIdentifier(ModelQuery& query, Log& log) {
    return query.model(log).value_or(unknownModel);
}

bool isTouchBarModel(const QString& model) {
    return std::find(touchBarModels.begin(), touchBarModels.end(), model) != touchBarModels.end();
}

bool initialTouchBarDetection(const Services& services, const Backend& backend) {
    const QString model = getModelIdentifier(services.modelQuery, services.output).trimmed();
    const bool touchBar = isTouchBarModel(model) && !backend.onlyWhileRunning;
    services.output.writeLine(QStringLiteral("🔍 Initial Touch Bar Detection (Model Only):"));
    services.output.writeLine(QStringLiteral("   Model: ") + model);
    services.output.writeLine(QStringLiteral("   Has Touch Bar: ") + log::truth(touchBar));
    return touchBar;
}

bool checkTouchBarAvailability(const Processes& processes, const Services& services,
                               const Backend& backend) {
    const QString model = getModelIdentifier(services.modelQuery, services.output).trimmed();
    const bool inList = isTouchBarModel(model);
    const bool processesFound =
        std::any_of(backend.critical.begin(), backend.critical.end(),
                    [&](const QString& name) { return processes.isRunning(name); });
    // tiny-dfr is installed only where there is a Touch Bar to draw, and it is stopped exactly
    // when the Touch Bar needs fixing.
    const bool daemonInstalled = backend.restart == Backend::Restart::RestartUnit;
    const bool touchBar =
        (inList && !backend.onlyWhileRunning) || processesFound || daemonInstalled;
    Log& log = services.output;
    log.writeLine(QStringLiteral("🔍 Full Touch Bar Detection:"));
    log.writeLine(QStringLiteral("   Model: ") + model);
    log.writeLine(QStringLiteral("   Model in list: ") + log::truth(inList));
    log.writeLine(QStringLiteral("   TouchBar processes found: ") + log::truth(processesFound));
    if (daemonInstalled)
        log.writeLine(QStringLiteral("   Touch Bar daemon installed: true"));
    log.writeLine(QStringLiteral("   Final detection: ") + log::truth(touchBar));
    return touchBar;
}

} // namespace corvane
