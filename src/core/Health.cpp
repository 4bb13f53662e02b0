#include "core/Health.h"

#include "core/LogFormat.h"
#include "platform/TouchBarDisplay.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

// A sysfs value is a word or two; anything longer is not one.
constexpr qsizetype valueLimit = 256;
// More USB devices than any laptop has: a folder that goes on is not a bus.
constexpr int entryLimit = 4096;

const QString serviceTool = QStringLiteral("/usr/bin/systemctl");

// A small file's contents without the trailing newline, or why it could not be read. It is
// opened without blocking and must be a plain file: a FIFO planted in a test tree, or a
// device, never holds the reader.
struct Value {
    QByteArray bytes;
    QString problem;
};

Value readValue(const QString& path) {
    const int file =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0)
        return {{}, path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno))};
    struct stat info = {};
    Value value;
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        value.problem = path + QStringLiteral(": not a plain file");
    } else {
        char bytes[valueLimit + 1];
        ssize_t count = 0;
        do {
            count = ::read(file, bytes, sizeof bytes);
        } while (count < 0 && errno == EINTR);
        if (count < 0)
            value.problem =
                path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        else if (count > valueLimit)
            value.problem = path + QStringLiteral(": longer than any value it may hold");
        else
            value.bytes = QByteArray(bytes, count).trimmed();
    }
    ::close(file);
    return value;
}

bool isUsbId(const QByteArray& text) {
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{4}$"));
    return hex.match(QString::fromLatin1(text)).hasMatch();
}

// Which of the Touch Bar's two USB devices a T2 shows: its display (05ac:8302), and the
// keyboard and backlight (05ac:8102).
struct TouchBarDevices {
    bool display = false;
    bool keyboard = false;
    QString problem;
};

TouchBarDevices usbDevices(const QString& folder) {
    TouchBarDevices found;
    const QStringList entries = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (entries.size() > entryLimit) {
        found.problem = folder + QStringLiteral(" lists more devices than a bus has");
        return found;
    }
    for (const QString& entry : entries) {
        const QString device = folder + QLatin1Char('/') + entry + QLatin1Char('/');
        // Interfaces sit beside the devices and carry no ids.
        if (!QFileInfo::exists(device + QStringLiteral("idVendor")))
            continue;
        const Value vendor = readValue(device + QStringLiteral("idVendor"));
        const Value product = readValue(device + QStringLiteral("idProduct"));
        for (const Value& value : {vendor, product}) {
            if (!value.problem.isEmpty())
                found.problem = value.problem;
            else if (!isUsbId(value.bytes))
                found.problem = device + QStringLiteral(" holds no USB id");
            if (!found.problem.isEmpty())
                return found;
        }
        if (vendor.bytes == "05ac") {
            found.display |= product.bytes == "8302";
            found.keyboard |= product.bytes == "8102";
        }
    }
    return found;
}

// Whether a display card under `folder` is driven by `driver`, by its driver link's last part.
bool displayCardDriven(const QString& folder, const QString& driver) {
    static const QRegularExpression card(QStringLiteral("^card[0-9]+$"));
    for (const QString& entry : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!card.match(entry).hasMatch())
            continue;
        std::error_code error;
        const std::filesystem::path link = std::filesystem::read_symlink(
            QFile::encodeName(folder + QLatin1Char('/') + entry + QStringLiteral("/device/driver"))
                .toStdString(),
            error);
        if (!error && QString::fromStdString(link.filename().string()) == driver)
            return true;
    }
    return false;
}

// The unit's properties as `systemctl show` prints them, or why they could not be had.
struct Unit {
    QHash<QString, QString> properties;
    QString problem;
};

Unit readUnit(const ProcessControl& processes, const QString& unit) {
    static const QStringList wanted = {QStringLiteral("LoadState"), QStringLiteral("ActiveState"),
                                       QStringLiteral("SubState"), QStringLiteral("Result")};
    static const QRegularExpression plain(QStringLiteral("^[a-z-]{1,32}$"));
    const ToolOutcome show =
        processes.run(serviceTool,
                      {QStringLiteral("show"), unit,
                       QStringLiteral("--property=") + wanted.join(QLatin1Char(','))},
                      Echo::Nothing);
    Unit read;
    if (!show.launched()) {
        read.problem = serviceTool + QStringLiteral(" could not be run: ") +
                       show.launchError->localizedDescription;
        return read;
    }
    if (show.timedOut) {
        read.problem = serviceTool + QStringLiteral(" did not answer in time");
        return read;
    }
    if (show.exitStatus != 0) {
        read.problem = QStringLiteral("systemctl show %1 failed with status %2")
                           .arg(unit)
                           .arg(show.exitStatus);
        return read;
    }
    for (const QByteArray& line : show.standardOutput.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QString key = QString::fromLatin1(line.left(equals));
        const QString value = QString::fromLatin1(line.mid(equals + 1));
        if (equals > 0 && wanted.contains(key) && plain.match(value).hasMatch())
            read.properties.insert(key, value);
    }
    for (const QString& key : wanted) {
        if (!read.properties.contains(key)) {
            read.problem = QStringLiteral("systemctl show %1 gave no readable %2").arg(unit, key);
            return read;
        }
    }
    return read;
}

bool isT2Model(const QString& model) {
    return model.startsWith(QLatin1String("MacBookPro15,")) ||
           model.startsWith(QLatin1String("MacBookPro16,"));
}

Health judged(HealthState state, QString reason) {
    return {state, std::move(reason), {}};
}

Health daemonHealth(const Backend& backend, const ProcessControl& processes, const QString& root,
                    const QString& model, bool daemonRuns) {
    const QString sys = root + QStringLiteral("/sys/");
    const TouchBarDevices devices = usbDevices(sys + QStringLiteral("bus/usb/devices"));
    if (!devices.problem.isEmpty())
        return judged(HealthState::Unknown, devices.problem);
    const bool t2 = isT2Model(model) || devices.display || devices.keyboard;
    if (t2 && !devices.display)
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("the Touch Bar's display (USB 05ac:8302) is not on the bus"));
    if (t2 && !devices.keyboard)
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("the Touch Bar's keyboard and backlight (USB 05ac:8102) are "
                                     "not on the bus"));

    const QString drm = sys + QStringLiteral("class/drm");
    if (t2 && !displayCardDriven(drm, QStringLiteral("appletbdrm")))
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("no display card is driven by appletbdrm"));
    if (t2 && !QFileInfo::exists(sys + QStringLiteral("class/backlight/appletb_backlight")))
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("the Touch Bar's backlight (appletb_backlight) is gone"));
    if (isAppleSiliconModel(model) && !displayCardDriven(drm, QStringLiteral("adp")))
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("no display card is driven by adp"));

    const Unit unit = readUnit(processes, backend.unit);
    if (!unit.problem.isEmpty())
        return judged(HealthState::Unknown, unit.problem);

    const auto property = [&](const char* key) {
        return unit.properties.value(QLatin1String(key));
    };
    if (property("LoadState") != QLatin1String("loaded"))
        return judged(HealthState::Unknown, backend.unit + QStringLiteral(" is not loaded (") +
                                                property("LoadState") + QLatin1Char(')'));
    if (property("ActiveState") == QLatin1String("failed"))
        return judged(HealthState::DaemonFailed,
                      backend.unit + QStringLiteral(" failed (") + property("Result") +
                          (property("Result") == QLatin1String("start-limit-hit")
                               ? QStringLiteral(": it was restarted too often and systemd gave up)")
                               : QStringLiteral(")")));
    if (property("ActiveState") != QLatin1String("active") || !daemonRuns)
        return judged(HealthState::DaemonStopped,
                      backend.unit + QStringLiteral(" is ") + property("ActiveState") +
                          QStringLiteral(" (") + property("SubState") + QStringLiteral(")") +
                          (daemonRuns ? QString() : QStringLiteral(" and no tiny-dfr runs")));
    return judged(HealthState::Working, backend.unit + QStringLiteral(" runs"));
}

} // namespace

bool isAppleSiliconModel(const QString& model) {
    return model == QLatin1String("MacBookPro17,1") || model == QLatin1String("Mac14,7");
}

QString healthKey(HealthState state) {
    switch (state) {
    case HealthState::Working:
        return QStringLiteral("working");
    case HealthState::DaemonStopped:
        return QStringLiteral("daemon-stopped");
    case HealthState::DaemonFailed:
        return QStringLiteral("daemon-failed");
    case HealthState::DisplayDriverGone:
        return QStringLiteral("display-driver-gone");
    case HealthState::HardwareMissing:
        return QStringLiteral("hardware-missing");
    case HealthState::Unknown:
        return QStringLiteral("unknown");
    }
    Q_UNREACHABLE();
}

QString describeHealth(const Health& health) {
    QString state;
    switch (health.state) {
    case HealthState::Working:
        state = QStringLiteral("The Touch Bar works");
        break;
    case HealthState::DaemonStopped:
        state = QStringLiteral("The Touch Bar's service is not running");
        break;
    case HealthState::DaemonFailed:
        state = QStringLiteral("The Touch Bar's service has failed");
        break;
    case HealthState::DisplayDriverGone:
        state = QStringLiteral("The Touch Bar's display driver is gone");
        break;
    case HealthState::HardwareMissing:
        state = QStringLiteral("The Touch Bar hardware is not visible to the system");
        break;
    case HealthState::Unknown:
        state = QStringLiteral("Corvane could not tell whether the Touch Bar works");
        break;
    }
    return health.reason.isEmpty()
               ? state + QLatin1Char('.')
               : state + QStringLiteral(": ") + health.reason + QLatin1Char('.');
}

Health readHealth(const Backend& backend, const ProcessControl& processes, const QString& root,
                  const QString& model, const ProcessListing& listing) {
    QList<ServiceStatus> services;
    for (const QString& name : backend.processes) {
        const std::optional<RunningProcesses> found = listing.value(name);
        services << ServiceStatus{name, found && !found->isEmpty()};
    }
    const QString& main = backend.critical.front();
    const bool mainRuns = listing.value(main).value_or(RunningProcesses()).size() > 0;

    Health health;
    if (!listing.value(main)) {
        health = judged(HealthState::Unknown, QStringLiteral("nobody could look for ") + main);
    } else if (backend.restart == Backend::Restart::RestartUnit) {
        health = daemonHealth(backend, processes, root, model, mainRuns);
    } else if (mainRuns) {
        health = judged(HealthState::Working, main + QStringLiteral(" runs"));
    } else if (touchBarDisplaySeen() == false) {
        health = judged(HealthState::HardwareMissing,
                        QStringLiteral("the system lists no Touch Bar display"));
    } else {
        health = judged(HealthState::DaemonStopped, main + QStringLiteral(" is not running"));
    }
    health.services = services;
    return health;
}

void logHealth(Log& log, const QString& when, const Health& health) {
    log.writeLine(QStringLiteral("🩺 Touch Bar health ") + when + QStringLiteral(": ") +
                  healthKey(health.state));
    if (!health.reason.isEmpty())
        log.writeLine(QStringLiteral("   ") + health.reason);
}

} // namespace corvane
