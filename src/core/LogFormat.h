#pragma once

#include <QDateTime>
#include <QString>

// How the log writes what it shows.
namespace corvane::log {

// A time in UTC, as "2025-03-01 14:05:09 +0000".
inline QString timestamp(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

inline QString truth(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The rule between sections: 60 "=".
inline QString rule() {
    return QString(60, QLatin1Char('='));
}

} // namespace corvane::log
