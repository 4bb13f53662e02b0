#include "platform/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace corvane::login {
namespace {

const QString ownKey = QStringLiteral("X-Corvane-Written");

QString entryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/com.tamberlin.corvane.desktop");
}

// The program as the entry's Exec takes it: quoted, with the characters quoting keeps special
// escaped.
QString quotedProgram() {
    QString program = QCoreApplication::applicationFilePath();
    for (const QChar special :
         {QLatin1Char('\\'), QLatin1Char('"'), QLatin1Char('`'), QLatin1Char('$')})
        program.replace(special, QStringLiteral("\\") + special);
    return QLatin1Char('"') + program + QLatin1Char('"');
}

bool writtenByUs(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll().split('\n').contains(ownKey.toUtf8() + "=true");
}

} // namespace

State state() {
    const QFileInfo entry(entryPath());
    if (!entry.exists() && !entry.isSymLink())
        return State::Off;
    return !entry.isSymLink() && writtenByUs(entry.filePath()) ? State::On : State::Foreign;
}

QString setEnabled(bool on) {
    const QString path = entryPath();
    const QFileInfo entry(path);
    if (entry.isSymLink())
        return QStringLiteral("%1 is a link, left alone: remove it to let Corvane manage starting "
                              "at login.")
            .arg(path);
    if ((entry.exists() || entry.isSymLink()) && state() == State::Foreign)
        return QStringLiteral("%1 was written by someone else, and is left alone.").arg(path);
    if (!on) {
        QFile file(path);
        if (entry.exists() && !file.remove())
            return QStringLiteral("%1 could not be removed: %2").arg(path, file.errorString());
        return {};
    }
    if (!QDir().mkpath(entry.path()))
        return QStringLiteral("The folder %1 could not be made.").arg(entry.path());
    // Written beside and renamed into place: a half-written entry never starts anything.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
    file.write(QStringLiteral("[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Corvane\n"
                              "Comment=Keeps Corvane in the tray from login\n"
                              "Exec=%1 tray\n"
                              "Icon=com.tamberlin.corvane\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n"
                              "X-GNOME-AutoRestart=false\n"
                              "X-KDE-autostart-after=panel\n"
                              "%2=true\n")
                   .arg(quotedProgram(), ownKey)
                   .toUtf8());
    if (!file.commit())
        return QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
    return {};
}

} // namespace corvane::login
