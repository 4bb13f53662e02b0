#include "platform/Diagnostics.h"

#include <QDir>
#include <QSysInfo>

namespace corvane {

QString systemName(const QString&) {
    return QSysInfo::prettyProductName();
}

QStringList diagnosticReportFolders() {
    return {QDir::homePath() + QStringLiteral("/Library/Logs/DiagnosticReports"),
            QStringLiteral("/Library/Logs/DiagnosticReports")};
}

} // namespace corvane
