#include "Check.h"
#include "Fakes.h"
#include "core/Detection.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace corvane;

// Whatever the kernel's model query answers, size included, detection reads it without
// crashing and without reading past the buffer, logs at most one line, and yields "Unknown"
// exactly for a refused size or a failed query; otherwise the answer's text before the first
// zero byte within the reported size. Trimming and the list check take any text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fakes::FakeModelQuery query;
    query.reportedSize = input.ConsumeIntegral<std::size_t>();
    query.sizeResult = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    query.readResult = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    const std::string answer = input.ConsumeRemainingBytesAsString();
    query.bytes = QByteArray(answer.data(), static_cast<qsizetype>(answer.size()));
    fakes::CapturedLog log;

    const QString model = getModelIdentifier(query, log.log);
    const QString trimmed = model.trimmed();
    const bool touchBar = isTouchBarModel(trimmed);

    const bool refused =
        query.sizeResult != 0 || query.reportedSize < 1 || query.reportedSize > 1023;
    const bool failed = refused || query.readResult != 0;
    const QStringList lines = log.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    FUZZ_CHECK(lines.size() == (failed ? 1 : 0));
    if (failed) {
        FUZZ_CHECK(model == QLatin1String("Unknown"));
        FUZZ_CHECK(lines.front().startsWith(
            refused ? QStringLiteral("🔒 Security: Invalid sysctl result or size: ")
                    : QStringLiteral("🔒 Security: Failed to read sysctl: ")));
        FUZZ_CHECK(!touchBar);
    } else {
        // A buffer of the reported size holds the answer cut to that size, then zeros.
        QByteArray held = query.bytes.left(static_cast<qsizetype>(query.reportedSize));
        if (const qsizetype zero = held.indexOf('\0'); zero >= 0)
            held.truncate(zero);
        FUZZ_CHECK(model == QString::fromUtf8(held));
    }

    FUZZ_CHECK(model.contains(trimmed));
    FUZZ_CHECK(trimmed.isEmpty() || (!trimmed.front().isSpace() && !trimmed.back().isSpace()));
    FUZZ_CHECK(!touchBar || trimmed == QLatin1String("Mac14,7") ||
               (trimmed.size() == 14 && trimmed.startsWith(QLatin1String("MacBookPro"))));
    return 0;
}
