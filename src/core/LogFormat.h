#pragma once

#include <QDateTime>
#include <QString>

namespace corvane::log {

// A time stamp as the log writes it: the time in UTC as "2025-03-01 14:05:09 +0000".
QString timestamp(const QDateTime& time);
// A truth value as the log writes it: "true" or "false".
QString truth(bool value);
// A rule between sections: 60 "=".
QString rule();

} // namespace corvane::log
