#pragma once

#include "platform/ToolRunner.h"

#include <QHash>
#include <QList>
#include <QMap>
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
    // The configuration the device is in ("1", "2"), empty when it is in none or has no file.
    QByteArray configuration;
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
    // The ActiveState of each device unit it is bound to (BindsTo=), by name; empty when it is
    // bound to none, or they could not be read (then `problem` says why).
    QMap<QString, QString> boundStates;
    QString problem;
};

// The journal's lines that tell what the daemon and the Touch Bar's drivers did, each line made
// harmless to print: control characters, escape sequences and bytes that are not UTF-8 appear
// as \xNN.
struct JournalLines {
    // The daemon's lines of its current invocation, oldest first.
    QStringList daemon;
    // The kernel's lines about the Touch Bar's drivers and the T2 bridge since boot; read only
    // where they could change the health.
    QStringList kernel;
    // Whether this user may read the system journal: journalctl shows others only their own.
    bool permitted = true;
    // Why they could not be read: a tool missing, late, failing or answering garbage.
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
    // The daemon's and the kernel's journal lines, read with the unit.
    std::optional<JournalLines> journal;
    // The kernel's loaded modules by name, and its release ("6.1.0-28-amd64"); for reports,
    // empty where they could not be read.
    QStringList modules;
    QString kernelRelease;
};

// Reads the Touch Bar's devices from `root`/sys: USB devices, display cards and backlights. Runs
// no tool, and no file holds it.
Devices observeDevices(const QString& root);

// The loaded modules' names from `root`/proc/modules and the release from
// `root`/proc/sys/kernel/osrelease, each read as a bounded plain file.
void observeKernel(const QString& root, Observation& seen);

// `bytes` with every control character, escape sequence and byte that is not UTF-8 written as
// \xNN, so that a line from the journal can be logged or printed as it is.
QString harmless(const QByteArray& bytes);

// Whether tiny-dfr is installed under `root`: its unit file or its program.
bool touchBarDaemonInstalled(const QString& root);

} // namespace corvane
