#include "ProcessControl.h"

#include "Clock.h"
#include "LogFormat.h"
#include "LogSink.h"
#include "ToolRunner.h"

#include <QStringDecoder>

namespace corvane {
namespace {

const QString probeTool = QStringLiteral("/usr/bin/pgrep");
const QString killTool = QStringLiteral("/usr/bin/pkill");
const QString exactName = QStringLiteral("-x");

// The tool's error output exactly as written, or "Unknown error" when it is not UTF-8.
QString errorDetail(const QByteArray& standardError) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString detail = decoder.decode(standardError);
    return decoder.hasError() ? QStringLiteral("Unknown error") : detail;
}

} // namespace

ProcessControl::ProcessControl(ToolRunner& tools, LogSink& log, Clock& clock)
    : tools(tools)
    , log(log)
    , clock(clock)
    , allowList({
          QStringLiteral("TouchBarServer"),
          QStringLiteral("NowPlayingTouchUI"),
          QStringLiteral("ControlStrip"),
          QStringLiteral("TouchBarAgent"),
          QStringLiteral("TouchBarUserDevice"),
          QStringLiteral("DFRFoundation"),
      }) {}

bool ProcessControl::validateProcessName(const QString& name) const {
    if (allowList.contains(name, Qt::CaseSensitive))
        return true;
    log.writeLine(QStringLiteral("🔒 Process validation failed: '") + name +
                  QStringLiteral("' not in allowed list"));
    return false;
}

bool ProcessControl::checkIfProcessRunning(const QString& name) const {
    if (!validateProcessName(name)) {
        log.writeLine(QStringLiteral("🔒 Security: Attempted to check invalid process: '") + name +
                      QLatin1Char('\''));
        return false;
    }
    const ToolOutcome probe =
        tools.run(probeTool, {exactName, name}, ToolRunner::StandardError::Inherited);
    return probe.launched() && probe.exitStatus == 0;
}

TouchBarResult ProcessControl::secureKillProcess(const QString& name) const {
    if (!validateProcessName(name)) {
        const TouchBarError error = TouchBarError::securityViolation(
            QStringLiteral("Invalid process name: '") + name + QLatin1Char('\''));
        log.writeLine(QStringLiteral("🔒 Security violation: ") + error.localizedDescription());
        return TouchBarResult::failure(error);
    }

    log.writeLine(QStringLiteral("📊 TOUCH_BAR_RESTART: Killing process '") + name +
                  QStringLiteral("' at ") + log::timestamp(clock.now()));
    log.writeLine(QStringLiteral("🔄 Attempting to kill process: ") + name);

    const ToolOutcome kill =
        tools.run(killTool, {exactName, name}, ToolRunner::StandardError::Captured);
    if (!kill.launched()) {
        const QString description = kill.launchError->localizedDescription;
        log.writeLine(QStringLiteral("   ❌ Exception killing ") + name + QStringLiteral(": ") +
                      description);
        return TouchBarResult::failure(
            TouchBarError::killFailed(name + QStringLiteral(": ") + description));
    }

    log.writeLine(QStringLiteral("   pkill ") + name + QStringLiteral(" returned: ") +
                  QString::number(kill.exitStatus));
    switch (kill.exitStatus) {
    case 0:
        log.writeLine(QStringLiteral("   ✅ Successfully killed ") + name);
        return TouchBarResult::success();
    case 1:
        if (!kill.standardError.isEmpty() && checkIfProcessRunning(name))
            return killFailure(name, errorDetail(kill.standardError));
        log.writeLine(QStringLiteral("   ⚠️ ") + name + QStringLiteral(" was not running"));
        return TouchBarResult::success();
    default:
        return killFailure(name, errorDetail(kill.standardError));
    }
}

TouchBarResult ProcessControl::killFailure(const QString& name, const QString& detail) const {
    log.writeLine(QStringLiteral("   ❌ Failed to kill ") + name + QStringLiteral(": ") + detail);
    return TouchBarResult::failure(TouchBarError::killFailed(name + QStringLiteral(": ") + detail));
}

} // namespace corvane
