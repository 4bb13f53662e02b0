#pragma once

#include "platform/ToolRunner.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvane {

// What a look found under each name; nothing for a name that could not be looked for.
using ProcessListing = QHash<QString, std::optional<RunningProcesses>>;

// A USB device as sysfs lists it.
struct UsbDevice {
    // Its folder, ending in '/', for the reasons that name it.
    QString path;
    // Its ids as the files hold them, without the newline: "05ac", "8302".
    QByteArray vendor;
    QByteArray product;
};

// The Touch Bar's side of /sys under a root folder.
struct Devices {
    QList<UsbDevice> usb;
    // The driver of each display card (card0, card1, ...) that has one, by its link's last part.
    QStringList displayDrivers;
    // The backlights' names, e.g. "appletb_backlight".
    QStringList backlights;
    // Why they could not be read whole: a file that is not a plain one, too long, unreadable, or
    // a folder that goes on. What was read before it is kept.
    QString problem;
};

// A systemd unit's properties as `systemctl show` printed them, or why they could not be had.
struct UnitProperties {
    QHash<QString, QString> values;
    QString problem;
};

// Everything a reading of the Touch Bar's health looked at, gathered before anything is judged.
// A part that was not needed for the answer is not gathered, and stays empty.
struct Observation {
    // The hardware model, without its surrounding blanks.
    QString model;
    // The backend's processes, by name.
    ProcessListing processes;
    // The Touch Bar's devices, for a backend read from /sys.
    std::optional<Devices> devices;
    // The daemon's unit, when the devices leave the health open.
    std::optional<UnitProperties> unit;
    // Whether macOS's registry lists the Touch Bar's display, when its main service is not seen.
    std::optional<bool> touchBarDisplaySeen;
};

// Reads the Touch Bar's devices from `root`/sys: USB devices, display cards and backlights. Runs
// no tool, and no file holds it.
Devices observeDevices(const QString& root);

// Whether tiny-dfr is installed under `root`: its unit file or its program.
bool touchBarDaemonInstalled(const QString& root);

} // namespace corvane
