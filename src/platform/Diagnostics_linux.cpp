#include "platform/Diagnostics.h"

#include "platform/PlainFile.h"

namespace corvane {
namespace {

// os-release is a few lines of KEY=value.
constexpr qsizetype osReleaseLimit = qsizetype{64} * 1024;

// A value as os-release writes it: bare, or quoted with backslashes before `"`, `\`, `$` and '`'.
QString unquoted(QByteArray value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    QByteArray plain;
    for (qsizetype at = 0; at < value.size(); ++at) {
        if (value.at(at) == '\\' && at + 1 < value.size())
            ++at;
        plain += value.at(at);
    }
    return QString::fromUtf8(plain);
}

} // namespace

QString systemName(const QString& root) {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        const PlainFile file =
            readPlainFile(root + QLatin1String(path), osReleaseLimit, Links::Follow);
        if (!file.isRead())
            continue;
        for (const QByteArray& line : file.bytes.split('\n')) {
            const QByteArrayView key = "PRETTY_NAME=";
            if (line.startsWith(key))
                return unquoted(line.sliced(key.size()).trimmed());
        }
        return {};
    }
    return {};
}

QStringList diagnosticReportFolders() {
    return {};
}

} // namespace corvane
