#include "platform/Services.h"

#include "platform/PlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

namespace corvane {
namespace {

// `bytes` as a file name; empty when Qt cannot give them back byte for byte, as a name that is
// not UTF-8: it would name another folder.
QString fileName(const QByteArray& bytes) {
    QString name = QFile::decodeName(bytes);
    return QFile::encodeName(name) == bytes ? name : QString();
}

// Whether `path` is missing or a plain file; a link to one is followed, as a settings file kept
// elsewhere is linked in.
bool absentOrPlainFile(const QString& path) {
    const PlainFile file = readPlainFile(path, 0, Links::Follow);
    return file.error == ENOENT || file.plain;
}

} // namespace

QString homeFolder() {
    const QString home = fileName(qgetenv("HOME"));
    return QDir::isAbsolutePath(home) && QDir::cleanPath(home) != QLatin1String("/") ? home
                                                                                     : QString();
}

QString userFolder(const char* variable, const QString& fallback) {
    if (QString path = fileName(qgetenv(variable)); QDir::isAbsolutePath(path))
        return path;
    const QString home = homeFolder();
    return home.isEmpty() ? QString() : home + QLatin1Char('/') + fallback;
}

SystemServices::SystemServices()
    : standardOutput(STDOUT_FILENO)
    , standardError(STDERR_FILENO) {}

Services SystemServices::services() {
    return {tools, modelQuery, clock, standardOutput, standardError, ::geteuid()};
}

std::unique_ptr<QSettings> openSettings() {
#ifdef __APPLE__
    // The organisation "tamberlin.com" and the application "corvane" make the preferences
    // domain com.tamberlin.corvane.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("tamberlin.com"), QStringLiteral("corvane"));
#else
    const QString folder = userFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
    const QString file = folder + QStringLiteral("/com.tamberlin.corvane.conf");
    if (folder.isEmpty() || !absentOrPlainFile(file))
        return nullptr;
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
#endif
}

QStringList instanceLockFolders() {
    // Every copy of the user's must find the same folder, whatever environment it was started
    // with (su, sudo -i and SSH each give another): so the folders follow the user's id only.
    const uid_t user = ::geteuid();
    QStringList folders;
#ifndef __APPLE__
    folders << QStringLiteral("/run/user/") + QString::number(user);
#endif
    const passwd* account = ::getpwuid(user);
    if (const QString home = account ? fileName(account->pw_dir) : QString(); !home.isEmpty())
#ifdef __APPLE__
        folders << home + QStringLiteral("/Library/Caches");
#else
        folders << home + QStringLiteral("/.cache");
#endif
    folders << QStringLiteral("/tmp/corvane-") + QString::number(user);
    return folders;
}

} // namespace corvane
