#include "core/ProcessControl.h"
#include "Fakes.h"
#include "core/Backend.h"

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
            return found(control.findProcesses(name)) + "; " +
                   ended(control.secureKillProcess(name, {}));
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
    fakes.system.root = fakes.root.path();

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

    // Only this user's copies are ended; another user's are left alone, and root's need an
    // administrator.
    fakes.system.answers.clear();
    fakes.system.processes = {
        {"ControlStrip", 7, 0}, {"ControlStrip", 8, 502}, {"ControlStrip", 9}};
    check("root's, another user's and ours", 501, [&](const auto& control) {
        return ended(control.secureKillProcess("ControlStrip", {{7, 0}, {8, 502}, {9, 501}}));
    });
    check("what is left, as root", 0, [&](const auto& control) {
        return ended(control.secureKillProcess("ControlStrip", {{7, 0}, {8, 502}}));
    });

    const auto restartDaemon = [&](const auto& control) {
        return ended(control.restartDaemon("tiny-dfr.service"));
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

    // Every way each prompt ends, told apart by its status and its words.
    using administrator::Prompt;
    const std::tuple<const char*, Prompt, std::optional<ToolOutcome>> prompts[] = {
        {"granted", Prompt::Pkexec, {}},
        {"dismissed", Prompt::Pkexec,
         exited(126, "Error executing command as another user: "
                     "Request dismissed\n")},
        {"wrong password", Prompt::Pkexec,
         exited(127, "Error executing command as another user: Not authorized\n\nThis incident "
                     "has been reported.\n")},
        {"no agent", Prompt::Pkexec,
         exited(127, "Error creating textual authentication agent: Error opening current "
                     "controlling terminal for the process (`/dev/tty'): No such device or "
                     "address\n")},
        {"no polkit", Prompt::Pkexec,
         exited(127, "Error getting authority: Error initializing authority: Could not connect: "
                     "No such file or directory\n")},
        {"granted, but the helper failed", Prompt::Pkexec,
         exited(1, "corvane-touchbar-helper: /usr/sbin/modprobe appletbdrm: FATAL: Module "
                   "appletbdrm not found.\n")},
        {"no pkexec", Prompt::Pkexec, notLaunched()},
        {"nobody answered", Prompt::Pkexec, hung},
        {"granted, and what ran as root outlived its limit", Prompt::Pkexec,
         [] {
             ToolOutcome stuck = hung;
             stuck.stillRunning = true;
             return stuck;
         }()},
        {"granted", Prompt::Osascript, exited(0)},
        {"dismissed", Prompt::Osascript,
         exited(1, "0:96: execution error: User canceled. (-128)\n")},
        {"another error", Prompt::Osascript,
         exited(1, "0:96: execution error: An error of type -10810 has occurred. (-10810)\n")},
        {"nobody answered", Prompt::Osascript, hung},
        {"no osascript", Prompt::Osascript, notLaunched()},
    };
    for (const auto& [title, prompt, answer] : prompts) {
        fakes.prompt = prompt;
        fakes.system.start({"TouchBarServer"});
        const bool pkexec = prompt == Prompt::Pkexec;
        answering(title, pkexec ? "/usr/bin/pkexec reload-drivers" : "/usr/bin/osascript *", answer,
                  [&](const auto& control) {
                      return ended(
                          control.runAsAdministrator(pkexec ? administrator::Fix::ReloadDrivers
                                                            : administrator::Fix::StopServices,
                                                     appleServices().processes));
                  });
    }
    fakes.prompt = Prompt::Pkexec;
    EXPECT_EQ(fakes.output.text(), transcript("process-control"));
    // pgrep's complaints reach our standard error; pkill's are kept as the failure's detail.
    fakes.system.answers = {{"/usr/bin/pgrep ControlStrip", exited(1, "pgrep: hello\n")}};
    ProcessControl(fakes.services()).findProcesses("ControlStrip");
    EXPECT_EQ(fakes.errors.text(), "pgrep: hello\n");

    // The tools read a name as a pattern, and one that starts with "-" as an option.
    const Services services = fakes.services();
    for (const QString& name : appleServices().processes + touchBarDaemon().processes)
        EXPECT_TRUE(QRegularExpression("^[A-Za-z][A-Za-z-]*$").match(name).hasMatch() &&
                    ProcessControl(services).validateProcessName(name));
}
