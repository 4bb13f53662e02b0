#include "core/Processes.h"
#include "Replay.h"
#include "core/AdministratorFix.h"
#include "core/Backend.h"
#include "core/SystemdUnit.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

class ProcessesCase : public testing::TestWithParam<Row> {};

// Plays a row of cases/process-control.txt on the machine the rows before it left.
struct Machine {
    FakeServices fakes;
    std::optional<QString> play(const Row& row) {
        FakeSystem& machine = fakes.system;
        machine.transcript = &fakes.output.log;
        const auto ended = [](const std::optional<TouchBarError>& error) {
            return error ? error->errorDescription() : QString("done");
        };
        const auto found = [](const std::optional<RunningProcesses>& processes) {
            QStringList ids;
            for (const RunningProcess& process : processes.value_or(RunningProcesses()))
                ids << QStringLiteral("%1 of %2").arg(process.id).arg(process.owner);
            return processes ? "running: " + ids.join(", ") : QString("unknown");
        };
        using administrator::Prompt;
        const QByteArray& op = row.fields.at(0);
        const QString title = QString::fromUtf8(row.fields.at(1));
        const std::optional<ToolOutcome> answer = outcome(row.fields.at(3));
        machine.answers.clear();
        if (row.fields.at(3) != "-" && !answer)
            return std::nullopt;
        if (answer)
            machine.answers.emplace(QString::fromUtf8(row.fields.at(2)), *answer);
        fakes.prompt = op == "osascript" ? Prompt::Osascript : Prompt::Pkexec;
        if (op == "probe")
            machine.processes = {{"TouchBarServer", 7, 0}, {"TouchBarServer", 8, 501, true}};
        if (op.startsWith("pkill"))
            machine.processes.clear();
        if (op == "pkill")
            machine.start({"TouchBarAgent"});
        const QString named = op == "long" ? "NowPlayingTouchUI" : "ControlStrip";
        if (op == "ours" || op == "long")
            machine.processes = {{named, 7, 0}, {named, 8, 502}, {named, 9}, {named, 10}};
        if (op == "pkexec" || op == "osascript")
            machine.start({"TouchBarServer"});
        const qsizetype from = fakes.output.text().size();
        fakes.output.log.writeLine("== " + (op == "refuse" ? "refused: '" + title + "'" : title));
        const Services services = fakes.services(op == "root" ? 0 : 501);
        const ToolSession tools(services);
        const Processes control(tools, appleServices());
        QString result;
        if (op == "refuse")
            result = found(control.find(title)) + "; " + ended(control.terminate(title, {}));
        else if (op == "probe")
            result = found(control.find("TouchBarServer"));
        else if (op == "pkill" || op == "pkill-none")
            result = ended(control.terminate("TouchBarAgent", {}));
        else if (op == "ours" || op == "root" || op == "long")
            result = ended(control.terminate(
                named, op == "root" ? RunningProcesses{{7, 0}, {8, 502}}
                                    : RunningProcesses{{7, 0}, {8, 502}, {9, 501}}));
        else if (op == "systemctl")
            result = ended(SystemdUnit(tools, "tiny-dfr.service").restart());
        else if (op == "pkexec" || op == "osascript")
            result = ended(fixAsAdministrator(tools,
                                              op == "pkexec" ? administrator::Fix::ReloadDrivers
                                                             : administrator::Fix::StopServices,
                                              appleServices().processes));
        else
            return std::nullopt;
        fakes.output.log.writeLine("=> " + result);
        return fakes.output.text().mid(from);
    }
};

} // namespace

// Every way a refusal, a probe, a termination, a daemon's restart and a prompt end
// (cases/process-control.txt): each case after "==", each tool run after "$", outcome after "=>".
TEST_P(ProcessesCase, EndsAsItsRowSays) {
    expectTranscript<Machine>(GetParam(), "== ");
}

INSTANTIATE_TEST_SUITE_P(Transcript, ProcessesCase, testing::ValuesIn(rows({"process-control"}, 2)),
                         testing::PrintToStringParamName());

TEST(Processes, PassesOnWhatAToolComplained) {
    FakeServices fakes;
    fakes.system.answers = {{"/usr/bin/pgrep ControlStrip", exited(1, "pgrep: hello\n")}};
    const Services services = fakes.services();
    const ToolSession tools(services);
    Processes(tools, appleServices()).find("ControlStrip");
    EXPECT_EQ(fakes.errors.text(), "pgrep: hello\n");
}
