#include "Check.h"
#include "Fakes.h"
#include "core/Processes.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace corvane;

namespace {

// Written out here rather than taken from Processes, so a change there cannot widen
// what this accepts.
const QStringList allowed = {
    QStringLiteral("TouchBarServer"),     QStringLiteral("NowPlayingTouchUI"),
    QStringLiteral("ControlStrip"),       QStringLiteral("TouchBarAgent"),
    QStringLiteral("TouchBarUserDevice"), QStringLiteral("DFRFoundation"),
    QStringLiteral("tiny-dfr"),
};

const QString processTable = QStringLiteral("<process table>");

// Records every run, answering each with the same fuzzed outcome; the process table, unless the
// tools cannot be launched, lists one process of the fuzzed owner's and one of this user's.
class Recorder final : public ToolRunner {
public:
    ToolOutcome answer;
    uid_t owner = 0;
    QList<QStringList> runs;

    ToolOutcome run(const QString& program, const QStringList& arguments,
                    std::chrono::milliseconds) override {
        runs << QStringList{program} + arguments;
        return answer;
    }
    std::optional<RunningProcesses> processesNamed(const QString& name) override {
        runs << QStringList{processTable, name};
        if (answer.launchError)
            return std::nullopt;
        return RunningProcesses{{42, owner}, {43, 501}};
    }
};

} // namespace

// Any name, with the tools answering anything, through the probe and the termination: a name
// off the allow-list reaches no tool and is refused; every tool run is pgrep, pkill or ps with
// fixed options, pkill only for this user's processes, the name always one argument of its own;
// a name longer than pgrep can match is looked for in the process table instead, and only this
// user's processes found there are ended, by their ids.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Recorder tools;
    if (input.ConsumeBool())
        tools.answer.launchError = LaunchError{QStringLiteral("No such file"), {}};
    tools.answer.timedOut = input.ConsumeBool();
    tools.answer.exitStatus = input.ConsumeIntegral<std::int32_t>();
    tools.answer.standardOutput = QByteArray::fromStdString(input.ConsumeRandomLengthString(64));
    tools.answer.standardError = QByteArray::fromStdString(input.ConsumeRandomLengthString(256));
    const auto owner = tools.owner = input.ConsumeIntegral<uid_t>();
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
    const ToolSession session(services);
    const Processes control(session);
    const std::optional<RunningProcesses> running = control.find(name);
    const std::optional<TouchBarError> termination = control.terminate(name, {{42, owner}});

    const bool listed = allowed.contains(name);
    const bool fits = name.toUtf8().size() <= processNameField;
    for (const QStringList& run : tools.runs) {
        FUZZ_CHECK(listed);
        const QString& program = run.front();
        FUZZ_CHECK((program == processTable || program == QLatin1String("/bin/kill")) == !fits);
        if (program == processTable)
            FUZZ_CHECK(run.mid(1) == QStringList{name});
        else if (program == QLatin1String("/bin/kill"))
            FUZZ_CHECK(run.mid(1) ==
                       (owner == 501 ? QStringList{QStringLiteral("-TERM"), QStringLiteral("42"),
                                                   QStringLiteral("43")}
                                     : QStringList{QStringLiteral("-TERM"), QStringLiteral("43")}));
        else if (program == QLatin1String("/bin/ps"))
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
