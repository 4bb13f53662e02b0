#include "app/ExitStatus.h"

namespace corvane {

ExitStatus statusExitStatus(bool touchBar, HealthState health) {
    if (!touchBar)
        return ExitStatus::NoTouchBar;
    switch (health) {
    case HealthState::Working:
        return ExitStatus::Done;
    // A running daemon whose journal could not be read may have crashed: that is not "works".
    case HealthState::Unknown:
    case HealthState::JournalUnread:
        return ExitStatus::CouldNotTell;
    case HealthState::DaemonStopped:
    case HealthState::DaemonFailed:
    case HealthState::DaemonCrashed:
    case HealthState::CardBusy:
    case HealthState::BoundDeviceMissing:
    case HealthState::DisplayTimedOut:
    case HealthState::FirmwareKeys:
    case HealthState::DisplayDriverGone:
    case HealthState::BridgeLost:
    case HealthState::HardwareMissing:
        break;
    }
    return ExitStatus::NotWorking;
}

ExitStatus fixExitStatus(const std::optional<TouchBarError>& error) {
    if (!error)
        return ExitStatus::Done;
    switch (error->kind()) {
    case TouchBarError::Kind::NoTouchBar:
        return ExitStatus::NoTouchBar;
    case TouchBarError::Kind::PermissionDenied:
        return ExitStatus::AdministratorNeeded;
    case TouchBarError::Kind::AdministratorDeclined:
    case TouchBarError::Kind::PromptUnavailable:
        return ExitStatus::AdministratorDeclined;
    default:
        return ExitStatus::NotWorking;
    }
}

QString exitStatusHelp() {
    return QStringLiteral(R"(
Exit status:
  0   status: the Touch Bar works; fix: it was restarted, and counted; report: written
  1   status: it does not work; fix: the restart failed
  2   no Touch Bar
  3   status: could not tell
  4   fix: an administrator is needed (run fix --admin)
  5   fix: the administrator's prompt was declined or could not be shown
  6   fix: another restart is running (a window's, the tray's or another fix)
  64  the arguments were not understood
  71  the system refused a thread or a process (too many running for this user)
  74  status, report: the answer could not be written
)");
}

} // namespace corvane
