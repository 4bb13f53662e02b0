#include "Fakes.h"
#include "PosixToolRunner.h"
#include "QtExecutor.h"
#include "SettingsDefaultsStore.h"
#include "StandIns.h"
#include "TouchBarManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace corvane;
using namespace std::chrono_literals;

namespace {

struct Usage {
    qsizetype descriptors;
    long threads;
    long residentKilobytes;
};

// Taken once the thread of the last restart, which completes just before it ends, is gone.
Usage usage() {
    std::this_thread::sleep_for(100ms);
    QFile file(QStringLiteral("/proc/self/status"));
    file.open(QIODevice::ReadOnly);
    const QByteArray status = file.readAll();
    const auto field = [&](const QByteArray& name) { // "VmRSS:\t  11104 kB"
        const qsizetype at = status.indexOf('\n' + name + ':') + name.size() + 2;
        return status.mid(at, status.indexOf('\n', at) - at).trimmed().split(' ').first().toLong();
    };
    const QDir descriptors(QStringLiteral("/proc/self/fd"), {}, QDir::NoSort,
                           QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return {descriptors.count(), field("Threads"), field("VmRSS")};
}

// Answers like a machine whose TouchBarServer comes back at once and that runs nothing else,
// and records nothing, so that the 500th restart costs what the first did.
class RelaunchingSystem final : public ToolRunner {
public:
    ToolOutcome run(const QString&, const QStringList& arguments, StandardError) override {
        return {std::nullopt, arguments.last() == QLatin1String("TouchBarServer") ? 0 : 1, {}};
    }
};

struct Soak : ::testing::Test {
    fakes::FakeModelQuery model = fakes::FakeModelQuery::answering("MacBookPro16,1");
    fakes::MemoryDefaultsStore defaults;
    QtExecutor executor;
    fakes::FixedClock clock;
    fakes::InstantSleeper sleeper;
    fakes::RecordingLog log;

    std::shared_ptr<TouchBarManager> managerWith(ToolRunner& tools, DefaultsStore& store) {
        return std::make_shared<TouchBarManager>(
            PlatformServices{tools, model, store, executor, clock, sleeper, log});
    }

    // Restarts one after another, each awaited on the event loop; false once one fails or
    // takes over 10 s. Nothing here outlives a round, so the test itself adds nothing that grows.
    bool restartAll(TouchBarManager& manager, int rounds) {
        QTimer tick; // wakes the loop now and then, so a lost completion cannot block it
        tick.start(100ms);
        for (int round = 0; round < rounds; ++round) {
            log.clear();
            const auto succeeded = std::make_shared<std::optional<bool>>();
            manager.restartTouchBar(
                [succeeded](const TouchBarResult& result) { *succeeded = result.isSuccess(); });
            for (const QDeadlineTimer deadline(10s); !*succeeded && !deadline.hasExpired();)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (!succeeded->value_or(false))
                return false;
        }
        return true;
    }
};

} // namespace

TEST_F(Soak, FiveHundredRestartsKeepDescriptorsThreadsAndMemoryFlat) {
    RelaunchingSystem tools;
    const auto manager = managerWith(tools, defaults);

    ASSERT_TRUE(restartAll(*manager, 50));
    const Usage warm = usage();
    ASSERT_TRUE(restartAll(*manager, 450));
    const Usage after = usage();

    EXPECT_EQ(manager->restartCount(), 500);
    EXPECT_EQ(after.descriptors, warm.descriptors);
    EXPECT_LE(after.threads, warm.threads);
// The sanitizers keep freed memory and the state of ended threads resident on purpose.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(after.residentKilobytes, warm.residentKilobytes + 256);
#endif
}

// The real tools and executor, the two main services relaunched by a supervisor as the system
// would, no `defaults` tool and no Dock: the first restart in detail, then fifty more.
TEST_F(Soak, RealRestartsCountIntoTheNextLaunchAndLeaveNoZombieOrDescriptor) {
    if (QFile::exists("/usr/bin/defaults"))
        GTEST_SKIP() << "this machine has a defaults tool, which the restart would really run";
    standins::StandInFolder folder;
    standins::Supervisor supervisor(folder, {"TouchBarServer", "ControlStrip"});
    ASSERT_TRUE(supervisor.waitForLaunches(1, 5s));
    // The wait ends once the system has relaunched both, as two seconds would on a Mac.
    sleeper.duringSleep = [&] {
        supervisor.waitForLaunches(static_cast<int>(sleeper.sleeps.size()) + 1, 5s);
    };
    QTemporaryDir settingsFolder;
    const QString settingsFile = settingsFolder.filePath("com.tamberlin.corvane.conf");
    SettingsDefaultsStore settings(settingsFile);
    PosixToolRunner tools;
    const auto manager = managerWith(tools, settings);

    ASSERT_TRUE(restartAll(*manager, 1));
    const QString output = log.lines().join('\n');
    const auto terminated = [&](const QString& name, int status) {
        return output.contains("   pkill " + name + " returned: " + QString::number(status) +
                               (status == 0 ? "\n   ✅ Successfully killed " + name
                                            : "\n   ⚠️ " + name + " was not running"));
    };
    EXPECT_TRUE(terminated("TouchBarServer", 0) && terminated("ControlStrip", 0));
    // procps matches at most 15 characters of a name: the longer two never match on Linux.
    EXPECT_TRUE(terminated("NowPlayingTouchUI", 1) && terminated("TouchBarUserDevice", 1));
    EXPECT_TRUE(output.contains("   • TouchBarServer: ✅ VERIFIED RUNNING\n"
                                "   • ControlStrip: ✅ VERIFIED RUNNING\n"
                                "🔧 Resetting Touch Bar preferences...\n"
                                "🔧 Resetting Touch Bar preferences and cache...\n"
                                "   ✅ Restarted Dock to refresh Touch Bar\n"));
    EXPECT_TRUE(output.contains("   Final Status: Running"));

    const Usage warm = usage();
    ASSERT_TRUE(restartAll(*manager, 50));
    EXPECT_GE(supervisor.launches("TouchBarServer"), 52);
    EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a child ended and was never reaped";
    EXPECT_EQ(usage().descriptors, warm.descriptors);

    SettingsDefaultsStore reopened(settingsFile);
    const auto nextLaunch = managerWith(tools, reopened);
    EXPECT_EQ(nextLaunch->restartCount(), 51);
    EXPECT_EQ(nextLaunch->lastRestartTime(), clock.time);
}
