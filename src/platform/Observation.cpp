#include "platform/Observation.h"

#include "platform/PlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace corvane {
namespace {

// A sysfs value is a word or two; anything longer is not one.
constexpr qsizetype valueLimit = 256;
// More USB devices than any laptop has: a folder that goes on is not a bus.
constexpr int entryLimit = 4096;
// /proc/modules of a kernel with a few hundred modules is a few tens of KiB.
constexpr qsizetype modulesLimit = qsizetype{1024} * 1024;

QString escaped(QByteArrayView bytes) {
    QString text;
    for (const char byte : bytes)
        text +=
            QStringLiteral("\\x%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'));
    return text;
}

// How long the UTF-8 sequence that `lead` begins is, or 0 for a byte that begins none.
qsizetype sequenceLength(unsigned char lead) {
    if (lead >= 0xc2 && lead <= 0xdf)
        return 2;
    if (lead >= 0xe0 && lead <= 0xef)
        return 3;
    if (lead >= 0xf0 && lead <= 0xf4)
        return 4;
    return 0;
}

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
        // A device in no configuration has an empty file; one without the file is none either.
        const PlainFile configuration =
            readPlainFile(device + QStringLiteral("bConfigurationValue"), valueLimit);
        if (!configuration.isRead() && configuration.error != ENOENT) {
            devices.problem = configuration.problem;
            return devices;
        }
        devices.usb << UsbDevice{device, vendor.bytes.trimmed(), product.bytes.trimmed(),
                                 configuration.bytes.trimmed()};
    }

    static const QRegularExpression card(QStringLiteral("^card[0-9]+$"));
    const QString drm = sys + QStringLiteral("class/drm/");
    for (const QString& entry : folders(drm)) {
        if (!card.match(entry).hasMatch())
            continue;
        std::error_code error;
        const std::filesystem::path link = std::filesystem::read_symlink(
            QFile::encodeName(drm + entry + QStringLiteral("/device/driver")).toStdString(), error);
        if (!error)
            devices.displayDrivers << QString::fromStdString(link.filename().string());
    }
    devices.backlights = folders(sys + QStringLiteral("class/backlight"));
    return devices;
}

void observeKernel(const QString& root, Observation& seen) {
    const PlainFile modules =
        readPlainFile(root + QStringLiteral("/proc/modules"), modulesLimit, Links::Refuse);
    for (const QByteArray& line : modules.isRead() ? modules.bytes.split('\n') : QByteArrayList()) {
        if (const QByteArray name = line.left(line.indexOf(' ')); !name.isEmpty())
            seen.modules << harmless(name);
    }
    const PlainFile release =
        readPlainFile(root + QStringLiteral("/proc/sys/kernel/osrelease"), valueLimit);
    if (release.isRead())
        seen.kernelRelease = harmless(release.bytes.trimmed());
}

QString harmless(const QByteArray& bytes) {
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes.at(at));
        if (byte >= 0x20 && byte < 0x7f) {
            text += QLatin1Char(static_cast<char>(byte));
            ++at;
            continue;
        }
        const QByteArrayView sequence = QByteArrayView(bytes).sliced(at).first(
            std::min(sequenceLength(byte), bytes.size() - at));
        const QString decoded = QString::fromUtf8(sequence);
        // Only a whole, shortest sequence of a printable character passes: C1 controls are
        // escape sequences too.
        const bool whole = !sequence.isEmpty() && decoded.toUtf8() == sequence &&
                           !decoded.contains(QChar::ReplacementCharacter) &&
                           decoded.at(0).unicode() >= 0xa0;
        text += whole ? decoded : escaped(QByteArrayView(bytes).sliced(at, 1));
        at += whole ? sequence.size() : 1;
    }
    return text;
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
