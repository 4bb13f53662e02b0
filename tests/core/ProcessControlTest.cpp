#include "core/ProcessControl.h"
#include "Fakes.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

// Every way a refusal, a probe, a termination, a daemon's restart and a prompt end, as logged:
// each case under "==", each tool run after "$", each outcome after "=>".
TEST(ProcessControl, EveryWayALookOrATerminationEnds) {
    FakeServices fakes;
    fakes.system.transcript = &fakes.output.log;
    const auto check = [&](const QString& title, uid_t user, const auto& operation) {
        fakes.output.log.writeLine("== " + title);
        const Services services = fakes.services(user);
        const ProcessControl control(services);
        fakes.output.log.writeLine("=> " + operation(control));
    };
    const auto ended = [](const std::optional<TouchBarError>& error) {
        return error ? error->errorDescription() : QString("done");
    };
    const auto found = [](const std::optional<RunningProcesses>& processes) {
        QStringList ids;
        for (const RunningProcess& process : processes.value_or(RunningProcesses()))
            ids << QStringLiteral("%1 of %2").arg(process.id).arg(process.owner);
        return processes ? "running: " + ids.join(", ") : QString("unknown");
    };

    for (const QString name : {"", " TouchBarServer", "touchbarserver", "TouchBar",
                               "TouchBarServer\n", "-x", "TouchBarServer|Finder"}) {
        check("refused: '" + name + "'", 501, [&](const ProcessControl& control) {
            const QString probe = found(control.findProcesses(name));
            const QString termination = ended(control.secureKillProcess(name, {}));
            return probe + "; " + termination + "; " + ended(control.restartAsAdministrator(name));
        });
    }

    fakes.system.processes = {{"TouchBarServer", 7, 0}, {"TouchBarServer", 8, 501, true}};
    const auto probe = [&](const ProcessControl& control) {
        return found(control.findProcesses("TouchBarServer"));
    };
    check("one of root's and one ended but not reaped", 501, probe);
    fakes.system.answers = {{"/bin/ps *", notLaunched()}};
    check("no ps to tell which ended and whose", 501, probe);
    fakes.system.answers = {{"/usr/bin/pgrep *", hung}};
    check("pgrep hangs", 501, probe);
    fakes.system.answers = {{"/usr/bin/pgrep TouchBarServer", exited(0)}};
    check("pgrep matched but printed no id", 501, probe);
    fakes.system = FakeSystem();
    fakes.system.transcript = &fakes.output.log;

    // With `run` answered so, unless there is no answer to give.
    const auto answering = [&](const char* title, const QString& run,
                               const std::optional<ToolOutcome>& answer, const auto& operation) {
        fakes.system.answers.clear();
        if (answer)
            fakes.system.answers.emplace(run, *answer);
        check(title, 501, operation);
    };
    const auto terminate = [&](const char* title, const ToolOutcome& pkill, bool stillRuns) {
        fakes.system.processes.clear();
        if (stillRuns)
            fakes.system.start({"TouchBarAgent"});
        answering(title, "/usr/bin/pkill TouchBarAgent", pkill, [&](const auto& control) {
            return ended(control.secureKillProcess("TouchBarAgent", {}));
        });
    };
    terminate("pkill signalled it", exited(0), true);
    terminate("none ran", exited(1), false);
    // A complaint with status 1, checked with a probe: a name too long, or a process not ours.
    terminate("too long a name", exited(1, "pkill: pattern too long\n"), false);
    terminate("not permitted", exited(1, "pkill: killing pid 4 failed: Operation not permitted\n"),
              true);
    terminate("pkill failed", exited(2, "pkill: bad\n"), true);
    terminate("pkill's complaint is not UTF-8", exited(3, "\xff\xfe"), true);
    terminate("no pkill", notLaunched(), true);
    terminate("pkill hangs", hung, true);

    fakes.system.processes = {{"TouchBarServer", 7, 0}};
    // Refused before any tool runs, as the tool would refuse it, unless we are root.
    for (const uid_t user : {501, 0}) {
        check(QStringLiteral("root's process, as %1").arg(user), user, [&](const auto& control) {
            return ended(control.secureKillProcess("TouchBarServer", {{7, 0}}));
        });
    }

    const auto restartDaemon = [&](const auto& control) {
        return ended(control.restartDaemon());
    };
    const QString systemctl = "/usr/bin/systemctl tiny-dfr.service";
    answering("systemd restarted it", systemctl, {}, restartDaemon);
    answering("systemd refused the user", systemctl,
              exited(1, "Failed to restart tiny-dfr.service: Interactive authentication "
                        "required.\n"),
              restartDaemon);
    answering("no such unit", systemctl, exited(5, "Unit tiny-dfr.service not found.\n"),
              restartDaemon);
    answering("no systemctl", systemctl, notLaunched(), restartDaemon);

    fakes.system.start({"TouchBarServer"});
    const auto elevate = [&](const QString& target) {
        return [&, target](const auto& control) {
            return ended(control.restartAsAdministrator(target));
        };
    };
    const QString pkexec = "/usr/bin/pkexec TouchBarServer";
    answering("granted", pkexec, {}, elevate("TouchBarServer"));
    answering("granted for the daemon", pkexec, {}, elevate("tiny-dfr.service"));
    answering("dismissed", pkexec, exited(126), elevate("TouchBarServer"));
    answering("not an administrator", pkexec, exited(127), elevate("TouchBarServer"));
    answering("granted, but pkill failed", pkexec, exited(1, "pkill: bad\n"),
              elevate("TouchBarServer"));
    answering("no pkexec", pkexec, notLaunched(), elevate("TouchBarServer"));
    EXPECT_EQ(fakes.output.text(), transcript("process-control"));
    // pgrep's complaints reach our standard error; pkill's are kept as the failure's detail.
    fakes.system.answers = {{"/usr/bin/pgrep ControlStrip", exited(1, "pgrep: hello\n")}};
    ProcessControl(fakes.services()).findProcesses("ControlStrip");
    EXPECT_EQ(fakes.errors.text(), "pgrep: hello\n");

    // The tools read a name as a pattern, and one that starts with "-" as an option.
    const Services services = fakes.services();
    for (const QString& name : ProcessControl::touchBarProcesses() + QStringList{"tiny-dfr"})
        EXPECT_TRUE(QRegularExpression("^[A-Za-z][A-Za-z-]*$").match(name).hasMatch() &&
                    ProcessControl(services).validateProcessName(name));
}
