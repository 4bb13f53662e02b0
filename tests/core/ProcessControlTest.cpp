#include "core/ProcessControl.h"
#include "Fakes.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

struct ProcessControlTest : ::testing::Test {
    FakeServices fakes;
    CapturedLog runs; // each tool run, in order
    Services services = fakes.services();
    ProcessControl control{services};

    ProcessControlTest() { fakes.system.transcript = &runs.log; }
    // What was logged past the two lines every termination begins with.
    QStringList outcomeLines() { return fakes.output.lines().mid(2); }
};

} // namespace

TEST_F(ProcessControlTest, RefusesEveryNameOffTheListWithoutRunningATool) {
    for (const QString name : {"", " TouchBarServer", "touchbarserver", "TouchBar",
                               "TouchBarServer\n", "-x", "Finder", "TouchBarServer|Finder"}) {
        EXPECT_FALSE(control.findProcesses(name)) << name.toStdString();
        const std::optional<TouchBarError> refusal = control.secureKillProcess(name, {});
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->kind(), TouchBarError::Kind::SecurityViolation);
        EXPECT_EQ(control.restartAsAdministrator(name)->kind(),
                  TouchBarError::Kind::SecurityViolation);
    }
    EXPECT_EQ(runs.text(), "");
    const QString refusal = "🔒 Process validation failed: 'Finder' not in allowed list";
    const QString violation = "Security violation: Invalid process name: 'Finder'";
    EXPECT_EQ(fakes.output.lines().filter("'Finder'"),
              (QStringList{refusal, "🔒 Security: Attempted to check invalid process: 'Finder'",
                           refusal, "🔒 Security violation: " + violation, refusal}));

    // The tools read a name as a pattern, and one that starts with "-" as an option.
    const QRegularExpression plainName("^[A-Za-z][A-Za-z-]*$");
    for (const QString& name : ProcessControl::touchBarProcesses() + QStringList{"tiny-dfr"})
        EXPECT_TRUE(plainName.match(name).hasMatch() && control.validateProcessName(name));
}

TEST_F(ProcessControlTest, FindsTheLiveProcessesOfANameAndWhoseTheyAre) {
    fakes.system.processes = {
        {"TouchBarServer", 7, 0}, {"TouchBarServer", 8, 501, true}, {"ControlStrip", 9, 501}};
    const std::optional<RunningProcesses> found = control.findProcesses("TouchBarServer");
    ASSERT_TRUE(found && found->size() == 1);
    EXPECT_EQ(found->front().id, 7);
    EXPECT_EQ(found->front().owner, 0u);
    EXPECT_EQ(runs.lines(), (QStringList{"$ /usr/bin/pgrep -x TouchBarServer",
                                         "$ /bin/ps -o pid=,uid=,stat= -p 7,8"}));
    EXPECT_EQ(fakes.output.text(), "7\n8\n") << "what pgrep printed reaches our output";
    fakes.system.processes[0].zombie = true;
    EXPECT_FALSE(control.checkIfProcessRunning("TouchBarServer")) << "both ended";

    // Without ps, what pgrep found counts as ours and running; without pgrep, nothing is known.
    fakes.system.missing = {"/bin/ps"};
    EXPECT_EQ(control.findProcesses("ControlStrip")->front().owner, 501u);
    fakes.system.hanging = {"/usr/bin/pgrep"};
    EXPECT_FALSE(control.findProcesses("ControlStrip"));
    EXPECT_EQ(fakes.output.lines().last(),
              "   ⚠️ /usr/bin/pgrep did not finish within 5 seconds and was stopped");
    EXPECT_EQ(control.timedOutTools(), QStringList{"/usr/bin/pgrep"});
}

TEST_F(ProcessControlTest, TerminationReportsEachWayItEnds) {
    const QString refused = "pkill: killing pid 4242 failed: Operation not permitted\n";
    const QString failed = "❌ Failed to kill TouchBarAgent: ";
    using Kind = TouchBarError::Kind;
    ToolOutcome timedOut;
    timedOut.timedOut = true;
    const struct {
        ToolOutcome kill;
        bool stillRuns; // what a probe after pkill finds
        QStringList lines;
        std::optional<Kind> failure;
        QString payload;
    } cases[] = {
        {exited(0),
         true,
         {"   pkill TouchBarAgent returned: 0", "   ✅ Successfully killed TouchBarAgent"},
         {},
         {}},
        {exited(1),
         true,
         {"   pkill TouchBarAgent returned: 1", "   ⚠️ TouchBarAgent was not running"},
         {},
         {}},
        // A complaint with status 1, checked with a probe: of a name longer than the kernel
        // keeps, or of a process pkill found but may not signal.
        {exited(1, "pkill: pattern too long\n"),
         false,
         {"   pkill TouchBarAgent returned: 1", "   ⚠️ TouchBarAgent was not running"},
         {},
         {}},
        {exited(1, refused.toUtf8()),
         true,
         {"   pkill TouchBarAgent returned: 1", "100", "   " + failed + refused},
         Kind::PermissionDenied,
         "TouchBarAgent"},
        {exited(2, "pkill: bad thing\n"),
         true,
         {"   pkill TouchBarAgent returned: 2", "   " + failed + "pkill: bad thing\n"},
         Kind::KillFailed,
         "TouchBarAgent: pkill: bad thing\n"},
        {exited(3, "\xff\xfe oops"),
         true,
         {"   pkill TouchBarAgent returned: 3", "   " + failed + "Unknown error"},
         Kind::KillFailed,
         "TouchBarAgent: Unknown error"},
        {notLaunched(),
         true,
         {"   ❌ Exception killing TouchBarAgent: No such file or directory"},
         Kind::KillFailed,
         "TouchBarAgent: No such file or directory"},
        {timedOut,
         true,
         {"   ⚠️ /usr/bin/pkill did not finish within 5 seconds and was stopped",
          "   " + failed + "/usr/bin/pkill did not finish within 5 seconds and was stopped"},
         Kind::KillFailed,
         "TouchBarAgent: /usr/bin/pkill did not finish within 5 seconds and was stopped"},
    };
    for (const auto& [kill, stillRuns, lines, failure, payload] : cases) {
        FakeSystem system;
        CapturedLog output;
        const Services services{system,     fakes.modelQuery, fakes.clock,
                                output.log, fakes.errors.log, 501};
        system.answers = {{"/usr/bin/pkill TouchBarAgent", kill}};
        if (stillRuns)
            system.start({"TouchBarAgent"});
        const std::optional<TouchBarError> result =
            ProcessControl(services).secureKillProcess("TouchBarAgent", {});
        EXPECT_EQ(output.text(), "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarAgent' at "
                                 "2025-03-01 14:05:09 +0000\n🔄 Attempting to kill process: "
                                 "TouchBarAgent\n" +
                                     lines.join('\n') + '\n');
        ASSERT_EQ(result.has_value(), failure.has_value()) << lines.last().toStdString();
        if (failure) {
            EXPECT_EQ(result->kind(), *failure);
            EXPECT_EQ(result->payload(), payload);
        }
    }
}

// A process of another user's is refused before pkill runs, unless we are root.
TEST_F(ProcessControlTest, AnotherUsersProcessNeedsAnAdministrator) {
    fakes.system.processes = {{"TouchBarServer", 7, 0}};
    const RunningProcesses running = *control.findProcesses("TouchBarServer");
    EXPECT_EQ(control.secureKillProcess("TouchBarServer", running)->kind(),
              TouchBarError::Kind::PermissionDenied);
    EXPECT_EQ(fakes.output.lines().last(), "   🔒 TouchBarServer (PID 7) belongs to another user "
                                           "(UID 0): only an administrator may restart it");
    EXPECT_TRUE(runs.lines().filter("pkill").isEmpty());

    const Services asRoot{fakes.system,     fakes.modelQuery, fakes.clock,
                          fakes.output.log, fakes.errors.log, 0};
    EXPECT_FALSE(ProcessControl(asRoot).secureKillProcess("TouchBarServer", running));
    EXPECT_TRUE(fakes.system.processes.isEmpty());
}

TEST_F(ProcessControlTest, DaemonRestartAsTheUserThenAsAdministrator) {
    using Kind = TouchBarError::Kind;
    const auto restart = [&](const ToolOutcome& systemctl) {
        fakes.system.answers = {{"/usr/bin/systemctl tiny-dfr.service", systemctl}};
        const std::optional<TouchBarError> error = control.restartDaemon();
        return error ? std::optional(error->kind()) : std::nullopt;
    };
    EXPECT_EQ(restart(exited(0)), std::nullopt);
    EXPECT_EQ(restart(exited(1, "Failed to restart tiny-dfr.service: Interactive "
                                "authentication required.\n")),
              Kind::PermissionDenied);
    EXPECT_EQ(restart(exited(5, "Unit tiny-dfr.service not found.\n")), Kind::KillFailed);
    EXPECT_EQ(restart(notLaunched()), Kind::KillFailed);
    EXPECT_EQ(runs.lines().first(), "$ /usr/bin/systemctl --no-ask-password restart "
                                    "tiny-dfr.service");

    // Through pkexec: granted, declined or dismissed, failed, or no pkexec at all.
    const auto elevate = [&](const QString& target, const std::optional<ToolOutcome>& pkexec) {
        fakes.system.answers.clear();
        if (pkexec)
            fakes.system.answers.emplace("/usr/bin/pkexec " + target, *pkexec);
        const std::optional<TouchBarError> error = control.restartAsAdministrator(target);
        return error ? error->errorDescription() : "restarted";
    };
    runs.log.flush(std::chrono::seconds(1));
    const qsizetype before = runs.lines().size();
    fakes.system.start({"tiny-dfr", "TouchBarServer"});
    EXPECT_EQ(elevate("tiny-dfr.service", std::nullopt), "restarted");
    EXPECT_EQ(elevate("TouchBarServer", std::nullopt), "restarted");
    EXPECT_EQ(runs.lines().mid(before).filter("pkexec"),
              (QStringList{"$ /usr/bin/pkexec /usr/bin/systemctl restart tiny-dfr.service",
                           "$ /usr/bin/pkexec /usr/bin/pkill -x TouchBarServer"}));
    const QString declined = TouchBarError::administratorDeclined().errorDescription();
    EXPECT_EQ(elevate("TouchBarServer", exited(126)), declined);
    EXPECT_EQ(elevate("TouchBarServer", exited(127, "No authentication agent found.\n")), declined);
    EXPECT_EQ(elevate("TouchBarServer", exited(1, "pkill: bad thing\n")),
              "Failed to restart TouchBarServer: pkill: bad thing\n");
    fakes.system.missing = {"/usr/bin/pkexec"};
    EXPECT_EQ(elevate("TouchBarServer", std::nullopt),
              "Restarting as administrator needs pkexec, which is not installed. Install the "
              "Debian package pkexec (sudo apt install pkexec), then try again.");
}
