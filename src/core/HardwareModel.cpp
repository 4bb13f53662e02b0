#include "HardwareModel.h"

#include "LogSink.h"
#include "ModelQuery.h"

#include <QByteArray>

#include <array>
#include <cstring>

namespace corvane {
namespace {

constexpr std::size_t largestModelSize = 1023;

constexpr std::array<QLatin1StringView, 15> touchBarModels = {
    QLatin1StringView("MacBookPro13,2"), QLatin1StringView("MacBookPro13,3"),
    QLatin1StringView("MacBookPro14,2"), QLatin1StringView("MacBookPro14,3"),
    QLatin1StringView("MacBookPro15,1"), QLatin1StringView("MacBookPro15,2"),
    QLatin1StringView("MacBookPro15,3"), QLatin1StringView("MacBookPro15,4"),
    QLatin1StringView("MacBookPro16,1"), QLatin1StringView("MacBookPro16,2"),
    QLatin1StringView("MacBookPro16,3"), QLatin1StringView("MacBookPro16,4"),
    QLatin1StringView("MacBookPro17,1"), QLatin1StringView("MacBookPro18,3"),
    QLatin1StringView("MacBookPro18,4"),
};

} // namespace

QString getModelIdentifier(ModelQuery& query, LogSink& log) {
    std::size_t size = 0;
    int result = query.query("hw.model", nullptr, size);
    if (result != 0 || size == 0 || size > largestModelSize) {
        log.writeLine(QStringLiteral("🔒 Security: Invalid sysctl result or size: %1, %2")
                          .arg(result)
                          .arg(size));
        return unknownModel;
    }

    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    result = query.query("hw.model", buffer.data(), size);
    if (result != 0) {
        log.writeLine(QStringLiteral("🔒 Security: Failed to read sysctl: %1").arg(result));
        return unknownModel;
    }
    // The second answer's size is not trusted: the text ends at the first zero byte within
    // the buffer, or at its end.
    const void* zero =
        std::memchr(buffer.constData(), '\0', static_cast<std::size_t>(buffer.size()));
    const qsizetype length =
        zero ? static_cast<const char*>(zero) - buffer.constData() : buffer.size();
    return QString::fromUtf8(buffer.constData(), length);
}

QString trimModel(const QString& model) {
    return model.trimmed();
}

bool isTouchBarModel(const QString& model) {
    for (QLatin1StringView touchBarModel : touchBarModels) {
        if (model == touchBarModel)
            return true;
    }
    return false;
}

} // namespace corvane
