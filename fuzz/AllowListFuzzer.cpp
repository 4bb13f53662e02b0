#include "Check.h"
#include "Fakes.h"
#include "core/ProcessControl.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace corvane;

namespace {

// Written out here rather than taken from ProcessControl, so a change there cannot widen
// what this accepts.
const QStringList allowed = {
    QStringLiteral("TouchBarServer"),     QStringLiteral("NowPlayingTouchUI"),
    QStringLiteral("ControlStrip"),       QStringLiteral("TouchBarAgent"),
    QStringLiteral("TouchBarUserDevice"), QStringLiteral("DFRFoundation"),
    QStringLiteral("tiny-dfr"),
};

// Records every run, answering each with the same fuzzed outcome.
class Recorder final : public ToolRunner {
public:
    ToolOutcome answer;
    QList<QStringList> runs;

    ToolOutcome run(const QString& program, const QStringList& arguments,
                    std::chrono::milliseconds) override {
        runs << QStringList{program} + arguments;
        return answer;
    }
};

} // namespace

// Any name, with the tools answering anything, through the probe and the termination: a name
// off the allow-list reaches no tool and is refused; every tool run is pgrep, pkill or ps with
// fixed options, pkill only for this user's processes, the name always one argument of its own.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Recorder tools;
    if (input.ConsumeBool())
        tools.answer.launchError = LaunchError{QStringLiteral("No such file"), {}};
    tools.answer.timedOut = input.ConsumeBool();
    tools.answer.exitStatus = input.ConsumeIntegral<std::int32_t>();
    tools.answer.standardOutput = QByteArray::fromStdString(input.ConsumeRandomLengthString(64));
    tools.answer.standardError = QByteArray::fromStdString(input.ConsumeRandomLengthString(256));
    const auto owner = input.ConsumeIntegral<uid_t>();
    const bool utf16 = input.ConsumeBool();
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    // UTF-16 code units as they come, lone surrogates and zeros included, or UTF-8.
    const QString name =
        utf16 ? QString(reinterpret_cast<const QChar*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size() / sizeof(QChar)))
              : QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));

    fakes::FakeModelQuery model;
    fakes::FixedClock clock;
    fakes::CapturedLog output;
    fakes::CapturedLog errors;
    const Services services{tools, model, clock, output.log, errors.log, 501};
    const ProcessControl control(services);
    const std::optional<RunningProcesses> running = control.findProcesses(name);
    const std::optional<TouchBarError> termination = control.secureKillProcess(name, {{42, owner}});

    const bool listed = allowed.contains(name);
    for (const QStringList& run : tools.runs) {
        FUZZ_CHECK(listed);
        const QString& program = run.front();
        if (program == QLatin1String("/bin/ps"))
            FUZZ_CHECK(run.mid(1, 3) ==
                       (QStringList{QStringLiteral("-o"), QStringLiteral("pid=,uid=,stat="),
                                    QStringLiteral("-p")}));
        else if (program == QLatin1String("/usr/bin/pkill"))
            FUZZ_CHECK(run.mid(1) == (QStringList{QStringLiteral("-U"), QStringLiteral("501"),
                                                  QStringLiteral("-x"), name}));
        else
            FUZZ_CHECK(program == QLatin1String("/usr/bin/pgrep") &&
                       run.mid(1) == (QStringList{QStringLiteral("-x"), name}));
    }
    if (!listed) {
        FUZZ_CHECK(!running && termination);
        FUZZ_CHECK(termination->kind() == TouchBarError::Kind::SecurityViolation);
    }
    return 0;
}
