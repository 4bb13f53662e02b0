#include "AwaitRestart.h"
#include "Fakes.h"
#include "PosixToolRunner.h"
#include "QtExecutor.h"
#include "SettingsDefaultsStore.h"
#include "StandIns.h"
#include "TouchBarManager.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::standins;
using namespace std::chrono_literals;

namespace {

QStringList killLines(const QString& name, int status) {
    return {"📊 TOUCH_BAR_RESTART: Killing process '" + name + "' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: " + name,
            "   pkill " + name + " returned: " + QString::number(status),
            status == 0 ? "   ✅ Successfully killed " + name
                        : "   ⚠️ " + name + " was not running"};
}

// The lines from `first` up to, not including, `next`.
QStringList section(const QStringList& lines, const QString& first, const QString& next) {
    const qsizetype begin = lines.indexOf(first);
    return lines.mid(begin, lines.indexOf(next, begin) - begin);
}

} // namespace

// The whole restart with the real tools and executor, the two main services relaunched by a
// supervisor as the system would, no `defaults` tool and no Dock.
TEST(RestartIntegration, RestartsRelaunchedServicesAndTheNextLaunchCountsIt) {
    if (QFile::exists("/usr/bin/defaults"))
        GTEST_SKIP() << "this machine has a defaults tool, which the restart would really run";
    StandInFolder folder;
    Supervisor supervisor(folder, {"TouchBarServer", "ControlStrip"});
    ASSERT_TRUE(supervisor.waitForLaunches(1, 5s));

    QTemporaryDir settingsFolder;
    const QString settingsFile = settingsFolder.filePath("com.tamberlin.corvane.conf");
    PosixToolRunner tools;
    auto model = fakes::FakeModelQuery::answering("MacBookPro15,2");
    QtExecutor executor;
    fakes::FixedClock clock;
    fakes::InstantSleeper sleeper;
    fakes::RecordingLog log;
    // The wait ends once the system has relaunched both, as two seconds would on a Mac.
    bool relaunchedDuringWait = false;
    sleeper.duringSleep = [&] {
        relaunchedDuringWait = supervisor.waitForLaunches(2, 5s);
    };
    {
        SettingsDefaultsStore settings(settingsFile);
        const auto manager = std::make_shared<TouchBarManager>(
            PlatformServices{tools, model, settings, executor, clock, sleeper, log});
        log.clear();

        const AwaitedRestart awaited = awaitRestart(*manager, 60s);

        ASSERT_TRUE(awaited.result) << "no completion within 60 s";
        EXPECT_TRUE(awaited.result->isSuccess())
            << awaited.result->error().localizedDescription().toStdString();
        EXPECT_TRUE(relaunchedDuringWait);
        EXPECT_EQ(manager->restartCount(), 1);
    }
    EXPECT_EQ(supervisor.launches("TouchBarServer"), 2);
    EXPECT_EQ(supervisor.launches("ControlStrip"), 2);

    const QStringList lines = log.lines();
    EXPECT_EQ(section(lines, "\n🎯 KILLING PROCESSES:",
                      "\n⏱️ Waiting 2 seconds for processes to restart..."),
              (QStringList{"\n🎯 KILLING PROCESSES:",
                           "   Targets: TouchBarServer, NowPlayingTouchUI, ControlStrip, "
                           "TouchBarAgent, TouchBarUserDevice, DFRFoundation"} +
               killLines("TouchBarServer", 0) + killLines("NowPlayingTouchUI", 1) +
               killLines("ControlStrip", 0) + killLines("TouchBarAgent", 1) +
               killLines("TouchBarUserDevice", 1) + killLines("DFRFoundation", 1)));
    EXPECT_EQ(section(lines, "\n🔍 Verifying critical Touch Bar processes:",
                      "\n============================================================"),
              (QStringList{"\n🔍 Verifying critical Touch Bar processes:",
                           "   • TouchBarServer: ✅ VERIFIED RUNNING",
                           "   • ControlStrip: ✅ VERIFIED RUNNING",
                           "🔧 Resetting Touch Bar preferences...",
                           "🔧 Resetting Touch Bar preferences and cache...",
                           "   ✅ Restarted Dock to refresh Touch Bar"}));
    EXPECT_TRUE(lines.contains("   Final Status: Running"));

    SettingsDefaultsStore reopened(settingsFile);
    const auto nextLaunch = std::make_shared<TouchBarManager>(
        PlatformServices{tools, model, reopened, executor, clock, sleeper, log});
    EXPECT_EQ(nextLaunch->restartCount(), 1);
    EXPECT_EQ(nextLaunch->lastRestartTime(), clock.time);
}
