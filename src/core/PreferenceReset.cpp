#include "PreferenceReset.h"

#include "LogSink.h"
#include "ToolRunner.h"

#include <QStringList>

namespace corvane {

void resetTouchBarPreferences(ToolRunner& tools, LogSink& log) {
    log.writeLine(QStringLiteral("🔧 Resetting Touch Bar preferences and cache..."));

    const QStringList domains = {
        QStringLiteral("com.apple.touchbar.agent"),
        QStringLiteral("com.apple.controlstrip"),
        QStringLiteral("com.apple.TouchBarAgent"),
    };
    for (const QString& domain : domains) {
        // A domain that does not exist makes the tool fail; that is not worth a line.
        const ToolOutcome deletion =
            tools.run(QStringLiteral("/usr/bin/defaults"), {QStringLiteral("delete"), domain},
                      ToolRunner::StandardError::Inherited);
        if (deletion.launched() && deletion.exitStatus == 0)
            log.writeLine(QStringLiteral("   ✅ Cleared ") + domain);
    }

    // killall fails when no Dock runs, which leaves nothing to refresh either.
    const ToolOutcome dock = tools.run(QStringLiteral("/usr/bin/killall"), {QStringLiteral("Dock")},
                                       ToolRunner::StandardError::Inherited);
    if (dock.launched())
        log.writeLine(QStringLiteral("   ✅ Restarted Dock to refresh Touch Bar"));
    else
        log.writeLine(QStringLiteral("   ⚠️ Could not restart Dock: ") +
                      dock.launchError->fullText);
}

} // namespace corvane
