#pragma once

#include <QString>

#include <optional>

namespace corvane {

// The one error of the Touch Bar service control. Its only behaviour is describing itself
// to the user in a fixed English text. Values never change once made, and nothing compares
// two errors.
class TouchBarError {
public:
    enum class Kind {
        KillFailed,
        SecurityViolation,
        Unknown,
        NoTouchBar,
        ProcessNotFound,
        ServiceRestartFailed,
    };

    // A process could not be terminated; `detail` names it and says why.
    static TouchBarError killFailed(QString detail);
    // A request broke a security rule, such as a name outside the process allow-list.
    static TouchBarError securityViolation(QString detail);
    // Anything else; `message` is the whole description.
    static TouchBarError unknown(QString message);
    static TouchBarError noTouchBar();
    static TouchBarError processNotFound();
    static TouchBarError serviceRestartFailed();

    Kind kind() const { return errorKind; }
    // The text of the three kinds that carry one; empty for the others.
    const QString& payload() const { return text; }

    // Always present, also for an empty payload: the payload follows its kind's prefix
    // verbatim.
    std::optional<QString> errorDescription() const;
    std::optional<QString> failureReason() const { return std::nullopt; }
    std::optional<QString> recoverySuggestion() const { return std::nullopt; }
    std::optional<QString> helpAnchor() const { return std::nullopt; }
    // What callers show and log: exactly errorDescription().
    QString localizedDescription() const;

private:
    TouchBarError(Kind kind, QString text);

    Kind errorKind;
    QString text;
};

} // namespace corvane
