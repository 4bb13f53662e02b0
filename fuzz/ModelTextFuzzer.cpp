#include "Check.h"
#include "Fakes.h"
#include "core/Detection.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

using namespace corvane;

// Whatever the kernel's model query answers, size included, the model is read without crashing
// and without reading past the buffer, at most one line is logged, and nothing is the answer
// exactly for a refused size or a failed query; otherwise the answer's text before the first
// zero byte within the reported size. Trimming and the list check take any text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto reportedSize = input.ConsumeIntegral<std::size_t>();
    const int sizeResult = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    const int readResult = input.ConsumeBool() ? input.ConsumeIntegral<int>() : 0;
    const std::string answer = input.ConsumeRemainingBytesAsString();
    const QByteArray bytes(answer.data(), static_cast<qsizetype>(answer.size()));
    const auto sysctl = [&](char* buffer, std::size_t& length) {
        if (buffer == nullptr) {
            length = reportedSize;
            return sizeResult;
        }
        length = std::min(length, static_cast<std::size_t>(bytes.size()));
        std::memcpy(buffer, bytes.constData(), length);
        return readResult;
    };
    fakes::CapturedLog log;

    const std::optional<QString> read = modelFromSysctl(sysctl, log.log);
    fakes::FakeModelQuery query(read);
    const QString model = getModelIdentifier(query, log.log);
    const QString trimmed = model.trimmed();
    const bool touchBar = isTouchBarModel(trimmed);

    const bool refused = sizeResult != 0 || reportedSize < 1 || reportedSize > 1023;
    const bool failed = refused || readResult != 0;
    const QStringList lines = log.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    FUZZ_CHECK(lines.size() == (failed ? 1 : 0));
    FUZZ_CHECK(read.has_value() == !failed);
    if (failed) {
        FUZZ_CHECK(model == QLatin1String("Unknown"));
        FUZZ_CHECK(lines.front().startsWith(
            refused ? QStringLiteral("🔒 Security: Invalid sysctl result or size: ")
                    : QStringLiteral("🔒 Security: Failed to read sysctl: ")));
        FUZZ_CHECK(!touchBar);
    } else {
        // A buffer of the reported size holds the answer cut to that size, then zeros.
        QByteArray held = bytes.left(static_cast<qsizetype>(reportedSize));
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
