#include "platform/Services.h"

#include <QDir>

#include <unistd.h>

namespace corvane {
namespace {

// $HOME when it names a home folder; Qt would take "/" for a missing one.
QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    return QDir::isAbsolutePath(home) && QDir::cleanPath(home) != QLatin1String("/") ? home
                                                                                     : QString();
}

// An absolute path from `variable`; relative ones are to be ignored.
QString absolutePathFrom(const char* variable) {
    const QString path = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(path) ? path : QString();
}

} // namespace

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
    QString folder = absolutePathFrom("XDG_CONFIG_HOME");
    if (const QString home = homeFolder(); folder.isEmpty() && !home.isEmpty())
        folder = home + QStringLiteral("/.config");
    if (folder.isEmpty())
        return nullptr;
    return std::make_unique<QSettings>(folder + QStringLiteral("/com.tamberlin.corvane.conf"),
                                       QSettings::IniFormat);
#endif
}

QStringList instanceLockFolders() {
    QStringList folders{absolutePathFrom("XDG_RUNTIME_DIR"), absolutePathFrom("XDG_CACHE_HOME")};
    if (const QString home = homeFolder(); !home.isEmpty())
#ifdef __APPLE__
        folders << home + QStringLiteral("/Library/Caches");
#else
        folders << home + QStringLiteral("/.cache");
#endif
    folders << QDir::tempPath() + QStringLiteral("/corvane-") + QString::number(::geteuid());
    folders.removeAll(QString());
    return folders;
}

} // namespace corvane
