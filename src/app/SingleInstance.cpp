#include "SingleInstance.h"

#include "Alerts.h"
#include "LogSink.h"
#include "RunningApplications.h"
#include "Version.h"

#include <QCoreApplication>

#include <vector>

namespace corvane {
bool checkSingleInstance(RunningApplications& applications, Alerts& alerts, LogSink& log) {
    // Compared with the built-in identifier, not the one our own bundle carries: a copy that
    // carries another identifier never counts.
    const QString corvaneIdentifier = bundleIdentifier;
    const std::int32_t ownProcess = applications.currentProcessIdentifier();
    std::vector<std::int32_t> others;
    for (const RunningApplication& application : applications.runningApplications()) {
        if (application.bundleIdentifier == corvaneIdentifier &&
            application.processIdentifier != ownProcess)
            others.push_back(application.processIdentifier);
    }

    log.writeLine(QStringLiteral("🔍 Single instance check:"));
    log.writeLine(QStringLiteral("   Current PID: ") + QString::number(ownProcess));
    log.writeLine(QStringLiteral("   Bundle ID: ") + corvaneIdentifier);
    log.writeLine(QStringLiteral("   Existing instances: ") + QString::number(others.size()));
    if (others.empty())
        return true;
    for (const std::int32_t pid : others)
        log.writeLine(QStringLiteral("   Found existing: PID ") + QString::number(pid));

    Alert alert;
    alert.messageText = QStringLiteral("Corvane is Already Running");
    alert.informativeText = QStringLiteral("Another instance of Corvane is already running. "
                                           "Please quit the existing instance before starting a "
                                           "new one.");
    alert.style = Alert::Style::Warning;
    alert.buttons = {QCoreApplication::translate("checkSingleInstance", "OK")};
    alert.symbolName = QStringLiteral("exclamationmark.triangle.fill");
    alert.symbolDescription = QStringLiteral("Warning");
    alerts.runModal(alert);
    return false;
}

} // namespace corvane
