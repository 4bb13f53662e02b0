#include "Fakes.h"
#include "ProcessControl.h"

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

    QStringList killPreamble(const QString& name) const
    {
        return {"📊 TOUCH_BAR_RESTART: Killing process '" + name + "' at 2025-03-01 14:05:09 +0000",
                "🔄 Attempting to kill process: " + name};
    }
};

} // namespace

TEST_F(ProcessControlTest, RefusesEveryNameOffTheListWithoutRunningATool)
{
    for (const QString& name : {QString(), QStringLiteral(" TouchBarServer"),
                                QStringLiteral("touchbarserver"), QStringLiteral("TouchBar"),
                                QStringLiteral("TouchBarServer\n"), QStringLiteral("-x"),
                                QStringLiteral("Finder"), QStringLiteral("TouchBarServer|Finder")}) {
        SCOPED_TRACE(name.toStdString());
        log.clear();
        EXPECT_FALSE(control.checkIfProcessRunning(name));
        EXPECT_EQ(log.lines(), (QStringList{"🔒 Process validation failed: '" + name + "' not in allowed list",
                                            "🔒 Security: Attempted to check invalid process: '" + name + "'"}));
        log.clear();
        const TouchBarResult result = control.secureKillProcess(name);
        ASSERT_FALSE(result.isSuccess());
        EXPECT_EQ(result.error().kind(), TouchBarError::Kind::SecurityViolation);
        EXPECT_EQ(result.error().payload(), "Invalid process name: '" + name + "'");
        EXPECT_EQ(log.lines(), (QStringList{"🔒 Process validation failed: '" + name + "' not in allowed list",
                                            "🔒 Security violation: Security violation: Invalid process name: '" +
                                                name + "'"}));
    }
    EXPECT_TRUE(tools.calls().empty());
}

TEST_F(ProcessControlTest, AllowListHoldsOnlyPlainNamesTheToolsCannotReadAsOptionsOrPatterns)
{
    const QRegularExpression plainName(QStringLiteral("^[A-Za-z]+$"));
    EXPECT_EQ(control.allowedTouchBarProcesses(),
              (QStringList{"TouchBarServer", "NowPlayingTouchUI", "ControlStrip", "TouchBarAgent",
                           "TouchBarUserDevice", "DFRFoundation"}));
    for (const QString& name : control.allowedTouchBarProcesses()) {
        EXPECT_TRUE(plainName.match(name).hasMatch()) << name.toStdString();
        EXPECT_TRUE(control.validateProcessName(name));
    }
}

TEST_F(ProcessControlTest, ProbePassesTheNameAsItsOwnArgumentAndFoldsFailuresIntoFalse)
{
    tools.setScript([](const ScriptedToolRunner::Call&) { return exited(0); });
    EXPECT_TRUE(control.checkIfProcessRunning("ControlStrip"));
    tools.setScript([](const ScriptedToolRunner::Call&) { return exited(2); });
    EXPECT_FALSE(control.checkIfProcessRunning("ControlStrip"));
    tools.setScript([](const ScriptedToolRunner::Call&) { return notLaunched(); });
    EXPECT_FALSE(control.checkIfProcessRunning("ControlStrip"));

    for (const ScriptedToolRunner::Call& call : tools.calls()) {
        EXPECT_EQ(call.program, "/usr/bin/pgrep");
        EXPECT_EQ(call.arguments, (QStringList{"-x", "ControlStrip"}));
        EXPECT_EQ(call.standardError, ToolRunner::StandardError::Inherited);
    }
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(ProcessControlTest, TerminationReportsEachExitStatusOfPkill)
{
    const struct {
        const char* name;
        ToolOutcome outcome;
        bool success;
        QStringList lines;
        QString payload;
    } cases[] = {
        {"several processes signalled", exited(0), true,
         {"   pkill TouchBarAgent returned: 0", "   ✅ Successfully killed TouchBarAgent"}, {}},
        {"none matched", exited(1), true,
         {"   pkill TouchBarAgent returned: 1", "   ⚠️ TouchBarAgent was not running"}, {}},
        {"tool error keeps its newline", exited(2, "pkill: bad thing\n"), false,
         {"   pkill TouchBarAgent returned: 2", "   ❌ Failed to kill TouchBarAgent: pkill: bad thing\n"},
         "TouchBarAgent: pkill: bad thing\n"},
        {"error output not UTF-8", exited(3, "\xff\xfe oops"), false,
         {"   pkill TouchBarAgent returned: 3", "   ❌ Failed to kill TouchBarAgent: Unknown error"},
         "TouchBarAgent: Unknown error"},
        {"silent failure", exited(-1), false,
         {"   pkill TouchBarAgent returned: -1", "   ❌ Failed to kill TouchBarAgent: "},
         "TouchBarAgent: "},
        {"cannot launch", notLaunched("No such file or directory"), false,
         {"   ❌ Exception killing TouchBarAgent: No such file or directory"},
         "TouchBarAgent: No such file or directory"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        log.clear();
        tools.setScript([&](const ScriptedToolRunner::Call&) { return testCase.outcome; });
        const TouchBarResult result = control.secureKillProcess("TouchBarAgent");
        EXPECT_EQ(log.lines(), killPreamble("TouchBarAgent") + testCase.lines);
        ASSERT_EQ(result.isSuccess(), testCase.success);
        if (!testCase.success) {
            EXPECT_EQ(result.error().kind(), TouchBarError::Kind::KillFailed);
            EXPECT_EQ(result.error().payload(), testCase.payload);
        }
    }
    const auto calls = tools.calls();
    ASSERT_EQ(calls.size(), std::size(cases));
    for (const ScriptedToolRunner::Call& call : calls) {
        EXPECT_EQ(call.program, "/usr/bin/pkill");
        EXPECT_EQ(call.arguments, (QStringList{"-x", "TouchBarAgent"}));
        EXPECT_EQ(call.standardError, ToolRunner::StandardError::Captured);
    }
}

TEST_F(ProcessControlTest, ProcessThatPkillFoundButCouldNotSignalIsAFailure)
{
    const QByteArray refusal = "pkill: killing pid 4242 failed: Operation not permitted\n";
    tools.setScript([&](const ScriptedToolRunner::Call& call) {
        return call.program.endsWith("pkill") ? exited(1, refusal) : exited(0);
    });
    const TouchBarResult result = control.secureKillProcess("TouchBarServer");
    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error().payload(), "TouchBarServer: " + QString::fromUtf8(refusal));
    EXPECT_EQ(log.lines().last(), "   ❌ Failed to kill TouchBarServer: " + QString::fromUtf8(refusal));
    EXPECT_EQ(tools.commandLines(), (QStringList{"/usr/bin/pkill -x TouchBarServer",
                                                 "/usr/bin/pgrep -x TouchBarServer"}));

    // The same complaint about a process that is gone (procps warns about long names and
    // then matches nothing) is still "not running".
    tools.setScript([&](const ScriptedToolRunner::Call& call) {
        return call.program.endsWith("pkill") ? exited(1, "pkill: pattern ... longer than 15\n") : exited(1);
    });
    EXPECT_TRUE(control.secureKillProcess("TouchBarUserDevice").isSuccess());
    EXPECT_EQ(log.lines().last(), "   ⚠️ TouchBarUserDevice was not running");
}
