#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// A crash report the system kept of the Touch Bar's service: its file's name and when it was
// last written, never what it holds.
struct CrashReport {
    QString name;
    QDateTime modified;
};

// The system's name for people: os-release's PRETTY_NAME under `root` (/etc, else /usr/lib) on
// Linux, read as a bounded plain file; macOS's name and version on macOS. Empty when it cannot
// be told.
QString systemName(const QString& root);

// The folders where the system keeps its diagnostic reports, the user's first; none on Linux.
QStringList diagnosticReportFolders();

// The `count` newest files in `folder` whose names begin with "TouchBarServer", newest first.
// A link is not a report: it could name anything.
QList<CrashReport> touchBarCrashReports(const QString& folder, int count);

// The names this user goes by: the account's in the password database, $USER and $LOGNAME;
// an unset variable gives an empty one.
QStringList accountNames();

} // namespace corvane
