#include "AwaitRestart.h"
#include "Fakes.h"
#include "PosixToolRunner.h"
#include "QtExecutor.h"
#include "SettingsDefaultsStore.h"
#include "StandIns.h"

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace corvane;
using namespace std::chrono_literals;

namespace {

struct Usage {
    long descriptors = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    long threads = std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
    long residentPages = [] {
        QFile statm("/proc/self/statm"); // total, resident, ...
        statm.open(QIODevice::ReadOnly);
        return statm.readAll().split(' ').value(1).toLong();
    }();
};

// Answers like a machine whose TouchBarServer comes back at once and that runs nothing else,
// and records nothing, so that the 500th restart costs what the first did.
struct RelaunchingSystem final : ToolRunner {
    ToolOutcome run(const QString&, const QStringList& arguments, StandardError) override {
        return {std::nullopt, arguments.last() == QLatin1String("TouchBarServer") ? 0 : 1, {}};
    }
};

struct Soak : ::testing::Test {
    fakes::FakePlatform fakes;
    QtExecutor executor;

    std::shared_ptr<TouchBarManager> managerWith(ToolRunner& tools, DefaultsStore& store) {
        return std::make_shared<TouchBarManager>(PlatformServices{
            tools, fakes.modelQuery, store, executor, fakes.clock, fakes.sleeper, fakes.log});
    }

    // Restarts on the event loop one after another, keeping nothing; false once one fails or
    // takes over 10 s.
    bool restartAll(TouchBarManager& manager, int rounds) {
        for (int round = 0; round < rounds; ++round) {
            fakes.log.clear();
            if (const auto result = awaitRestart(manager, 10s); !result || !result->isSuccess())
                return false;
        }
        std::this_thread::sleep_for(100ms); // for the last restart's thread, which ends after it
        return true;
    }
};

} // namespace

TEST_F(Soak, FiveHundredRestartsKeepDescriptorsThreadsAndMemoryFlat) {
    RelaunchingSystem tools;
    const auto manager = managerWith(tools, fakes.defaults);

    ASSERT_TRUE(restartAll(*manager, 50));
    const Usage warm;
    ASSERT_TRUE(restartAll(*manager, 450));
    const Usage after;

    EXPECT_EQ(after.descriptors, warm.descriptors);
    EXPECT_LE(after.threads, warm.threads);
// The sanitizers keep freed memory and the state of ended threads resident on purpose.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(after.residentPages, warm.residentPages + 64);
#endif
}

// The real tools against the main two services, which are back once the wait ends, as the
// system would have relaunched them; no `defaults`, no Dock. One restart in detail, then fifty.
TEST_F(Soak, RealRestartsCountIntoTheNextLaunchAndLeaveNoZombieOrDescriptor) {
    if (QFile::exists("/usr/bin/defaults"))
        GTEST_SKIP() << "this machine has a defaults tool, which the restart would really run";
    standins::Supervisor supervisor({"TouchBarServer", "ControlStrip"});
    fakes.sleeper.duringSleep = [&] {
        EXPECT_TRUE(supervisor.waitForRelaunch(5s));
    };
    QTemporaryDir settingsFolder;
    const QString settingsFile = settingsFolder.filePath("com.tamberlin.corvane.conf");
    SettingsDefaultsStore settings(settingsFile);
    PosixToolRunner tools;
    const auto manager = managerWith(tools, settings);

    ASSERT_TRUE(restartAll(*manager, 1));
    EXPECT_EQ(fakes.log.lines().filter("killed"),
              (QStringList{"   ✅ Successfully killed TouchBarServer",
                           "   ✅ Successfully killed ControlStrip"}));
    EXPECT_TRUE(
        fakes.log.lines().join('\n').contains("   • TouchBarServer: ✅ VERIFIED RUNNING\n"
                                              "   • ControlStrip: ✅ VERIFIED RUNNING\n"
                                              "🔧 Resetting Touch Bar preferences...\n"
                                              "🔧 Resetting Touch Bar preferences and cache...\n"
                                              "   ✅ Restarted Dock to refresh Touch Bar\n"));

    const Usage warm;
    ASSERT_TRUE(restartAll(*manager, 50));
    EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a child ended and was never reaped";
    EXPECT_EQ(Usage().descriptors, warm.descriptors);
    EXPECT_EQ(SettingsDefaultsStore(settingsFile).integer("TouchBarRestartCount"), 51);
}
