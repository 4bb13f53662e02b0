#include "LogFormat.h"

namespace corvane::log {

QString timestamp(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

QString truth(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString rule() {
    return QString(60, QLatin1Char('='));
}

} // namespace corvane::log
