#include "platform/Diagnostics.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace corvane {

QList<CrashReport> touchBarCrashReports(const QString& folder, int count) {
    const QFileInfoList files =
        QDir(folder, QStringLiteral("TouchBarServer*"), QDir::Time, QDir::Files | QDir::NoSymLinks)
            .entryInfoList();
    QList<CrashReport> reports;
    for (const QFileInfo& file : files.first(std::min<qsizetype>(count, files.size())))
        reports << CrashReport{file.fileName(), file.lastModified().toUTC()};
    return reports;
}

QStringList accountNames() {
    QStringList names;
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        names << QString::fromLocal8Bit(found->pw_name);
    for (const char* variable : {"USER", "LOGNAME"})
        names << qEnvironmentVariable(variable);
    names.removeDuplicates();
    return names;
}

} // namespace corvane
