#include "platform/Observation.h"

#include "platform/PlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <filesystem>

namespace corvane {
namespace {

// A sysfs value is a word or two; anything longer is not one.
constexpr qsizetype valueLimit = 256;
// More USB devices than any laptop has: a folder that goes on is not a bus.
constexpr int entryLimit = 4096;

QStringList folders(const QString& folder) {
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

Devices observeDevices(const QString& root) {
    Devices devices;
    const QString sys = root + QStringLiteral("/sys/");
    const QString bus = sys + QStringLiteral("bus/usb/devices");
    const QStringList entries = folders(bus);
    if (entries.size() > entryLimit) {
        devices.problem = bus + QStringLiteral(" lists more devices than a bus has");
        return devices;
    }
    for (const QString& entry : entries) {
        const QString device = bus + QLatin1Char('/') + entry + QLatin1Char('/');
        // Interfaces sit beside the devices and carry no ids.
        if (!QFileInfo::exists(device + QStringLiteral("idVendor")))
            continue;
        const PlainFile vendor = readPlainFile(device + QStringLiteral("idVendor"), valueLimit);
        const PlainFile product = readPlainFile(device + QStringLiteral("idProduct"), valueLimit);
        for (const PlainFile& value : {vendor, product}) {
            if (!value.isRead()) {
                devices.problem = value.problem;
                return devices;
            }
        }
        devices.usb << UsbDevice{device, vendor.bytes.trimmed(), product.bytes.trimmed()};
    }

    static const QRegularExpression card(QStringLiteral("^card[0-9]+$"));
    const QString drm = sys + QStringLiteral("class/drm/");
    for (const QString& entry : folders(drm)) {
        if (!card.match(entry).hasMatch())
            continue;
        std::error_code error;
        const std::filesystem::path link = std::filesystem::read_symlink(
            QFile::encodeName(drm + entry + QStringLiteral("/device/driver")).toStdString(),
            error);
        if (!error)
            devices.displayDrivers << QString::fromStdString(link.filename().string());
    }
    devices.backlights = folders(sys + QStringLiteral("class/backlight"));
    return devices;
}

bool touchBarDaemonInstalled(const QString& root) {
    const QDir system(root);
    for (const char* path :
         {"etc/systemd/system/tiny-dfr.service", "usr/lib/systemd/system/tiny-dfr.service",
          "lib/systemd/system/tiny-dfr.service", "usr/bin/tiny-dfr"}) {
        if (QFileInfo::exists(system.filePath(QLatin1String(path))))
            return true;
    }
    return false;
}

} // namespace corvane
