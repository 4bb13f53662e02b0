#include "core/TouchBarError.h"

namespace corvane {

TouchBarError::TouchBarError(Kind kind, QString text)
    : errorKind(kind)
    , text(std::move(text)) {}

TouchBarError TouchBarError::killFailed(QString detail) {
    return {Kind::KillFailed, std::move(detail)};
}

TouchBarError TouchBarError::securityViolation(QString detail) {
    return {Kind::SecurityViolation, std::move(detail)};
}

TouchBarError TouchBarError::unknown(QString message) {
    return {Kind::Unknown, std::move(message)};
}

TouchBarError TouchBarError::noTouchBar() {
    return {Kind::NoTouchBar, {}};
}

TouchBarError TouchBarError::processNotFound() {
    return {Kind::ProcessNotFound, {}};
}

TouchBarError TouchBarError::serviceRestartFailed() {
    return {Kind::ServiceRestartFailed, {}};
}

TouchBarError TouchBarError::permissionDenied(const QString& services) {
    return administratorNeeded(QStringLiteral("Restarting ") + services +
                               QStringLiteral(" needs an administrator: the Touch Bar service "
                                              "belongs to the system."));
}

TouchBarError TouchBarError::administratorNeeded(QString explanation) {
    return {Kind::PermissionDenied, std::move(explanation)};
}

TouchBarError TouchBarError::administratorDeclined(QString why) {
    return {Kind::AdministratorDeclined, std::move(why)};
}

TouchBarError TouchBarError::promptUnavailable(QString advice) {
    return {Kind::PromptUnavailable, std::move(advice)};
}

TouchBarError TouchBarError::touchBarNotWorking(QString explanation) {
    return {Kind::TouchBarNotWorking, std::move(explanation)};
}

QString TouchBarError::errorDescription() const {
    switch (errorKind) {
    case Kind::KillFailed:
        return QStringLiteral("Failed to restart ") + text;
    case Kind::SecurityViolation:
        return QStringLiteral("Security violation: ") + text;
    case Kind::Unknown:
        return text;
    case Kind::NoTouchBar:
        return QStringLiteral("This device doesn't have a Touch Bar");
    case Kind::ProcessNotFound:
        return QStringLiteral("Touch Bar process not found");
    case Kind::ServiceRestartFailed:
        return QStringLiteral("Failed to restart Touch Bar service");
    case Kind::AdministratorDeclined:
        return text.isEmpty() ? QStringLiteral("Administrator rights were not granted, so the "
                                               "Touch Bar was not restarted.")
                              : text;
    case Kind::PermissionDenied:
    case Kind::PromptUnavailable:
    case Kind::TouchBarNotWorking:
        return text;
    }
    Q_UNREACHABLE();
}

} // namespace corvane
