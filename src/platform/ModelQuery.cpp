#include "platform/ModelQuery.h"

#include <QByteArray>

#include <cstring>

namespace corvane {
namespace {

constexpr std::size_t largestModelSize = 1023;

} // namespace

std::optional<QString> modelFromSysctl(const ModelSysctl& sysctl, Log& log) {
    std::size_t size = 0;
    int result = sysctl(nullptr, size);
    if (result != 0 || size == 0 || size > largestModelSize) {
        log.writeLine(QStringLiteral("🔒 Security: Invalid sysctl result or size: %1, %2")
                          .arg(result)
                          .arg(size));
        return std::nullopt;
    }

    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    result = sysctl(buffer.data(), size);
    if (result != 0) {
        log.writeLine(QStringLiteral("🔒 Security: Failed to read sysctl: %1").arg(result));
        return std::nullopt;
    }
    // The second answer's size is not trusted: the text ends at the first zero byte within
    // the buffer, or at its end.
    const void* zero =
        std::memchr(buffer.constData(), '\0', static_cast<std::size_t>(buffer.size()));
    const qsizetype length =
        zero ? static_cast<const char*>(zero) - buffer.constData() : buffer.size();
    return QString::fromUtf8(buffer.constData(), length);
}

} // namespace corvane
