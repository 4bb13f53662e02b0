#include "Fakes.h"
#include "PosixToolRunner.h"
#include "ProcessControl.h"
#include "StandIns.h"
#include "SystemClock.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::standins;
using namespace std::chrono_literals;

namespace {

// The real pgrep and pkill against real processes named like the services, and like them.
struct RealProcesses : ::testing::Test {
    StandInFolder folder;
    PosixToolRunner tools;
    fakes::RecordingLog log;
    SystemClock clock;
    ProcessControl control{tools, log, clock};

    QStringList outcomeLines() const { return log.lines().mid(2); }
};

} // namespace

TEST_F(RealProcesses, ProbeAndTerminationMatchTheWholeNameAndNothingElse) {
    ASSERT_FALSE(control.checkIfProcessRunning("TouchBarServer"))
        << "a TouchBarServer of someone else's runs on this machine";
    StandInProcess server(folder, "TouchBarServer");
    StandInProcess strip(folder, "ControlStrip");
    StandInProcess longer(folder, "TouchBarServerX");
    StandInProcess lowerCase(folder, "touchbarserver");
    ASSERT_TRUE(server.started() && strip.started() && longer.started() && lowerCase.started());

    EXPECT_TRUE(control.checkIfProcessRunning("TouchBarServer"));
    EXPECT_TRUE(control.checkIfProcessRunning("ControlStrip"));

    for (const QString name : {"TouchBarServer", "ControlStrip"}) {
        log.clear();
        EXPECT_TRUE(control.secureKillProcess(name).isSuccess());
        EXPECT_EQ(outcomeLines(), (QStringList{"   pkill " + name + " returned: 0",
                                               "   ✅ Successfully killed " + name}));
    }
    EXPECT_EQ(server.waitForEnd(5s), SIGTERM);
    EXPECT_EQ(strip.waitForEnd(5s), SIGTERM);
    EXPECT_EQ(longer.waitForEnd(300ms), std::nullopt) << "TouchBarServerX was signalled";
    EXPECT_EQ(lowerCase.waitForEnd(0ms), std::nullopt) << "touchbarserver was signalled";

    EXPECT_FALSE(control.checkIfProcessRunning("TouchBarServer"));
    log.clear();
    EXPECT_TRUE(control.secureKillProcess("TouchBarServer").isSuccess());
    EXPECT_EQ(outcomeLines(), (QStringList{"   pkill TouchBarServer returned: 1",
                                           "   ⚠️ TouchBarServer was not running"}));
    EXPECT_EQ(longer.waitForEnd(0ms), std::nullopt);
}

TEST_F(RealProcesses, OneNameRunningTwiceIsOneSuccessfulTerminationOfBoth) {
    StandInProcess first(folder, "TouchBarServer");
    StandInProcess second(folder, "TouchBarServer");
    ASSERT_TRUE(first.started() && second.started());

    EXPECT_TRUE(control.checkIfProcessRunning("TouchBarServer"));
    EXPECT_TRUE(control.secureKillProcess("TouchBarServer").isSuccess());
    EXPECT_EQ(outcomeLines(), (QStringList{"   pkill TouchBarServer returned: 0",
                                           "   ✅ Successfully killed TouchBarServer"}));
    EXPECT_EQ(first.waitForEnd(5s), SIGTERM);
    EXPECT_EQ(second.waitForEnd(5s), SIGTERM);
}
