#include "core/ToolSession.h"

#include <QStringDecoder>

#include <cerrno>
#include <cstring>

namespace corvane {

QString toolWords(const QByteArray& standardError) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString detail = decoder.decode(standardError);
    return decoder.hasError() ? QStringLiteral("Unknown error") : detail;
}

QString timeLimitText(const QString& program, std::chrono::milliseconds limit) {
    return program + QStringLiteral(" did not finish within %1 seconds and was stopped")
                         .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
}

ToolSession::ToolSession(const Services& services)
    : machine(services) {}

ToolOutcome ToolSession::run(const QString& program, const QStringList& arguments, Echo echo,
                             std::chrono::milliseconds timeLimit) const {
    // A tool that hung once would hang again: it is not started anew, and the restart ends in
    // one time limit rather than one for every run it would have made.
    if (timedOut.contains(program)) {
        ToolOutcome skipped;
        skipped.timedOut = true;
        return skipped;
    }
    ToolOutcome outcome = machine.tools.run(program, arguments, timeLimit);
    // A tool that is there but could not be run, for want of descriptors or processes, would
    // leave a probe reading as "not running" without a word; a missing one is its caller's to tell.
    if (!outcome.launched() &&
        outcome.launchError->localizedDescription != QString::fromLocal8Bit(std::strerror(ENOENT)))
        log().writeLine(QStringLiteral("   ⚠️ Could not run ") + program +
                        QStringLiteral(": ") + outcome.launchError->localizedDescription);
    if (echo != Echo::Nothing)
        machine.output.write(outcome.standardOutput);
    if (echo == Echo::OutputAndErrors)
        machine.errors.write(outcome.standardError);
    if (outcome.timedOut) {
        log().writeLine(
            QStringLiteral("   ⚠️ ") +
            (outcome.stillRunning
                 ? program +
                       QStringLiteral(" did not finish within %1 seconds and "
                                      "could not be stopped")
                           .arg(std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count())
                 : timeLimitText(program, timeLimit)));
        timedOut << program;
    }
    return outcome;
}

} // namespace corvane
