#include "TouchBarError.h"

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

std::optional<QString> TouchBarError::errorDescription() const {
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
    }
    Q_UNREACHABLE();
    return std::nullopt;
}

QString TouchBarError::localizedDescription() const {
    return *errorDescription();
}

} // namespace corvane
