#include "Check.h"
#include "Fakes.h"
#include "ProcessControl.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace corvane;

namespace {

const QString probeTool = QStringLiteral("/usr/bin/pgrep");
const QString killTool = QStringLiteral("/usr/bin/pkill");

// Written out here rather than taken from ProcessControl, so a change there cannot widen
// what this accepts.
const QStringList touchBarProcesses = {
    QStringLiteral("TouchBarServer"),     QStringLiteral("NowPlayingTouchUI"),
    QStringLiteral("ControlStrip"),       QStringLiteral("TouchBarAgent"),
    QStringLiteral("TouchBarUserDevice"), QStringLiteral("DFRFoundation"),
};

} // namespace

// Any name, with the tools answering anything, through the probe and the termination: a name
// outside the six reaches no tool and is refused; every tool run is pgrep or pkill with
// exactly the two arguments "-x" and the name.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool launches = input.ConsumeBool();
    const auto probeStatus = input.ConsumeIntegral<std::int32_t>();
    const auto killStatus = input.ConsumeIntegral<std::int32_t>();
    const std::string errorOutput = input.ConsumeRandomLengthString(256);
    const bool utf16 = input.ConsumeBool();
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    // UTF-16 code units as they come, lone surrogates and zeros included, or UTF-8.
    const QString name =
        utf16 ? QString(reinterpret_cast<const QChar*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size() / sizeof(QChar)))
              : QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));

    fakes::ScriptedToolRunner tools([&](const fakes::ScriptedToolRunner::Call& call) {
        if (!launches)
            return fakes::notLaunched();
        if (call.program == killTool)
            return fakes::exited(killStatus, QByteArray::fromStdString(errorOutput));
        return fakes::exited(probeStatus);
    });
    fakes::RecordingLog log;
    fakes::FixedClock clock;
    const ProcessControl control(tools, log, clock);

    const bool running = control.checkIfProcessRunning(name);
    const TouchBarResult termination = control.secureKillProcess(name);

    const bool listed = touchBarProcesses.contains(name);
    const std::vector<fakes::ScriptedToolRunner::Call> calls = tools.calls();
    for (const fakes::ScriptedToolRunner::Call& call : calls) {
        FUZZ_CHECK(listed);
        FUZZ_CHECK(call.program == probeTool || call.program == killTool);
        FUZZ_CHECK(call.arguments == (QStringList{QStringLiteral("-x"), name}));
    }
    if (!listed) {
        FUZZ_CHECK(!running);
        FUZZ_CHECK(!termination.isSuccess());
        FUZZ_CHECK(termination.error().kind() == TouchBarError::Kind::SecurityViolation);
        return 0;
    }
    // The probe, the termination, and after "not found" with a complaint, one more probe.
    FUZZ_CHECK(calls.size() >= 2 && calls.size() <= 3);
    FUZZ_CHECK(calls[0].program == probeTool && calls[1].program == killTool);
    FUZZ_CHECK(running == (launches && probeStatus == 0));
    return 0;
}
