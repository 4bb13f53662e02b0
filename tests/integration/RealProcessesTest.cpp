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

// The real pgrep and pkill against real processes named like the services and like them: the
// probe and the termination match the whole name, exactly, and every process of it.
TEST(RealProcesses, ProbeAndTerminationMatchEveryProcessOfTheWholeNameAndNothingElse) {
    PosixToolRunner tools;
    fakes::RecordingLog log;
    SystemClock clock;
    const ProcessControl control{tools, log, clock};
    const auto terminate = [&](const QString& name) {
        log.clear();
        EXPECT_TRUE(control.secureKillProcess(name).isSuccess());
        return log.lines().mid(2);
    };
    ASSERT_FALSE(control.checkIfProcessRunning("TouchBarServer"))
        << "a TouchBarServer of someone else's runs on this machine";
    StandInProcess terminated[] = {StandInProcess("TouchBarServer"),
                                   StandInProcess("TouchBarServer"),
                                   StandInProcess("ControlStrip")};
    StandInProcess spared[] = {StandInProcess("TouchBarServerX"), StandInProcess("touchbarserver")};

    for (const QString name : {"TouchBarServer", "ControlStrip"}) {
        EXPECT_TRUE(control.checkIfProcessRunning(name));
        EXPECT_EQ(terminate(name), (QStringList{"   pkill " + name + " returned: 0",
                                                "   ✅ Successfully killed " + name}));
    }
    for (StandInProcess& process : terminated)
        EXPECT_EQ(process.waitForEnd(5s), SIGTERM);
    for (StandInProcess& process : spared)
        EXPECT_EQ(process.waitForEnd(300ms), std::nullopt) << "a longer or lower-case name ended";

    EXPECT_FALSE(control.checkIfProcessRunning("TouchBarServer"));
    EXPECT_EQ(terminate("TouchBarServer"),
              (QStringList{"   pkill TouchBarServer returned: 1",
                           "   ⚠️ TouchBarServer was not running"}));
}
