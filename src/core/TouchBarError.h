#pragma once

#include <QString>

namespace corvane {

// The one error of the Touch Bar service control. Its only behaviour is describing itself to
// the user in a fixed English text. Values never change once made, and nothing compares two
// errors.
class TouchBarError {
public:
    enum class Kind {
        KillFailed,
        SecurityViolation,
        Unknown,
        NoTouchBar,
        ProcessNotFound,
        ServiceRestartFailed,
        PermissionDenied,
        AdministratorDeclined,
        PromptUnavailable,
        TouchBarNotWorking,
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
    // Restarting `services` needs an administrator: they belong to the system.
    static TouchBarError permissionDenied(const QString& services);
    // The fix the Touch Bar needs is one only an administrator may make; `explanation` says
    // what is wrong and what the fix does.
    static TouchBarError administratorNeeded(QString explanation);
    // The administrator's prompt was dismissed, or the rights were refused; `why` says which
    // when it is not the plain dismissal.
    static TouchBarError administratorDeclined(QString why = {});
    // No administrator's prompt could be shown at all, so nobody was asked; `advice` says why
    // and how to get one.
    static TouchBarError promptUnavailable(QString advice);
    // The services were restarted, or could not help, and the Touch Bar still does not work;
    // `explanation` names what is wrong in plain words and what the person can do.
    static TouchBarError touchBarNotWorking(QString explanation);

    Kind kind() const { return errorKind; }

    // What callers show and log: the kind's fixed text with the payload appended verbatim.
    QString errorDescription() const;

private:
    TouchBarError(Kind kind, QString text);

    Kind errorKind;
    QString text;
};

} // namespace corvane
