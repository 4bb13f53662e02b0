#include "ProcessControl.h"
#include "Fakes.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

struct ProcessControlTest : ::testing::Test {
    ScriptedToolRunner tools;
    RecordingLog log;
    FixedClock clock;
    ProcessControl control{tools, log, clock};
};

} // namespace

TEST_F(ProcessControlTest, RefusesEveryNameOffTheListWithoutRunningATool) {
    for (const QString name : {"", " TouchBarServer", "touchbarserver", "TouchBar",
                               "TouchBarServer\n", "-x", "Finder", "TouchBarServer|Finder"}) {
        SCOPED_TRACE(name.toStdString());
        log.clear();
        EXPECT_FALSE(control.checkIfProcessRunning(name));
        const TouchBarResult result = control.secureKillProcess(name);
        ASSERT_FALSE(result.isSuccess());
        EXPECT_EQ(result.error().kind(), TouchBarError::Kind::SecurityViolation);
        const QString quoted = "'" + name + "'";
        const QString refusal = "🔒 Process validation failed: " + quoted + " not in allowed list";
        EXPECT_EQ(
            log.lines(),
            (QStringList{
                refusal, "🔒 Security: Attempted to check invalid process: " + quoted, refusal,
                "🔒 Security violation: Security violation: Invalid process name: " + quoted}));
    }
    EXPECT_TRUE(tools.calls().empty());

    // The tools read a name as a pattern, and one that starts with "-" as an option: every
    // listed name stays plain letters.
    const QRegularExpression plainName(QStringLiteral("^[A-Za-z]+$"));
    for (const QString& name : control.allowedTouchBarProcesses())
        EXPECT_TRUE(plainName.match(name).hasMatch() && control.validateProcessName(name))
            << name.toStdString();
}

TEST_F(ProcessControlTest, ProbeIsTrueOnlyWhenPgrepFindsTheNameAndLogsNothing) {
    for (const auto& [probe, running] : {std::pair(exited(0), true), std::pair(exited(1), false),
                                         std::pair(notLaunched(), false)}) {
        tools.setScript([&](const ScriptedToolRunner::Call&) { return probe; });
        EXPECT_EQ(control.checkIfProcessRunning("ControlStrip"), running);
    }
    for (const ScriptedToolRunner::Call& call : tools.calls()) {
        EXPECT_EQ(call.program, "/usr/bin/pgrep");
        EXPECT_EQ(call.arguments, (QStringList{"-x", "ControlStrip"}));
        EXPECT_EQ(call.standardError, ToolRunner::StandardError::Inherited);
    }
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(ProcessControlTest, TerminationReportsEachWayPkillEnds) {
    const QString refused = "pkill: killing pid 4242 failed: Operation not permitted\n";
    const QString failed = "❌ Failed to kill TouchBarAgent: ";
    const struct {
        ToolOutcome kill;
        bool stillRuns; // what a probe after pkill finds
        QString outcomeLine;
        std::optional<QString> failure;
    } cases[] = {
        {exited(0), true, "✅ Successfully killed TouchBarAgent", {}},
        {exited(1), true, "⚠️ TouchBarAgent was not running", {}},
        // Complaints with status 1, checked with a probe: of a name longer than the kernel
        // keeps, or of a process pkill found but may not signal.
        {exited(1, "pkill: pattern too long\n"), false, "⚠️ TouchBarAgent was not running", {}},
        {exited(1, refused.toUtf8()), true, failed + refused, refused},
        {exited(2, "pkill: bad thing\n"), true, failed + "pkill: bad thing\n",
         "pkill: bad thing\n"},
        {exited(3, "\xff\xfe oops"), true, failed + "Unknown error", "Unknown error"},
        {notLaunched(), true, "❌ Exception killing TouchBarAgent: No such file or directory",
         "No such file or directory"},
    };
    for (const auto& [kill, stillRuns, outcomeLine, failure] : cases) {
        SCOPED_TRACE(outcomeLine.toStdString());
        log.clear();
        tools.setScript([&](const ScriptedToolRunner::Call& call) {
            return call.program == "/usr/bin/pkill" ? kill : exited(stillRuns ? 0 : 1);
        });
        const TouchBarResult result = control.secureKillProcess("TouchBarAgent");
        QStringList lines = {"📊 TOUCH_BAR_RESTART: Killing process 'TouchBarAgent' at "
                             "2025-03-01 14:05:09 +0000",
                             "🔄 Attempting to kill process: TouchBarAgent"};
        if (kill.launched())
            lines << "   pkill TouchBarAgent returned: " + QString::number(kill.exitStatus);
        EXPECT_EQ(log.lines(), lines << "   " + outcomeLine);
        ASSERT_EQ(result.isSuccess(), !failure);
        if (failure) {
            EXPECT_EQ(result.error().kind(), TouchBarError::Kind::KillFailed);
            EXPECT_EQ(result.error().payload(), "TouchBarAgent: " + *failure);
        }
    }
    const QString kill = "/usr/bin/pkill -x TouchBarAgent",
                  probe = "/usr/bin/pgrep -x TouchBarAgent";
    EXPECT_EQ(tools.commandLines(),
              (QStringList{kill, kill, kill, probe, kill, probe, kill, kill, kill}));
    for (const ScriptedToolRunner::Call& call : tools.calls()) {
        EXPECT_EQ(call.arguments, (QStringList{"-x", "TouchBarAgent"}));
        EXPECT_EQ(call.standardError == ToolRunner::StandardError::Captured,
                  call.program == "/usr/bin/pkill");
    }
}
