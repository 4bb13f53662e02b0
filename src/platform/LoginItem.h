#pragma once

#include <QString>

namespace corvane {

// Corvane started in the tray at login, off until turned on. On Linux an XDG autostart entry,
// com.tamberlin.corvane.desktop in $XDG_CONFIG_HOME/autostart (~/.config/autostart), which
// Corvane marks as its own: it removes only an entry it wrote, and leaves one of the same name
// that someone else wrote, or a link, alone. On macOS the main app as a login item.
namespace login {

enum class State {
    Off,
    On,
    // macOS: registered, waiting for the user's approval in System Settings.
    RequiresApproval,
    // An entry of that name that Corvane did not write.
    Foreign,
};

State state();
// Turns starting at login on or off; answers why that could not be done, empty when it was.
// The entry is replaced whole, so two turns on never leave two.
QString setEnabled(bool on);

} // namespace login
} // namespace corvane
