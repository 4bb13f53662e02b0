#include "Fakes.h"
#include "SettingsDefaultsStore.h"
#include "TouchBarManager.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace corvane;
using namespace corvane::fakes;

namespace {

const QDateTime afterWait(QDate(2025, 3, 1), QTime(14, 5, 11), Qt::UTC);

// A run's standard output as the user would see it, with each tool run shown where it
// happens as "$ program arguments".
QString transcript(const QString& name) {
    QFile file(QStringLiteral(CORVANE_TRANSCRIPTS "/") + name + QStringLiteral(".txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The machine of a typical run: a Touch Bar model, the two main services running and
// relaunched by the system, a Dock; the clock moves on during the wait.
struct Rig {
    FakePlatform platform;
    FakeSystem system;
    DefaultsStore* store = &platform.defaults;
    std::shared_ptr<TouchBarManager> manager;
    QStringList beforeWrites;

    Rig() {
        system.running = {"TouchBarServer", "ControlStrip", "Dock"};
        system.relaunched = {"TouchBarServer", "ControlStrip"};
        platform.sleeper.duringSleep = [this] {
            platform.clock.time = afterWait;
        };
    }

    TouchBarResult restart(const QByteArray& model = "MacBookPro16,1") {
        platform.modelQuery = FakeModelQuery::answering(model);
        platform.tools.setScript([this, answer = system.script()](const auto& call) {
            platform.log.writeLine("$ " + (QStringList{call.program} + call.arguments).join(' '));
            return answer(call);
        });
        manager = std::make_shared<TouchBarManager>(
            PlatformServices{platform.tools, platform.modelQuery, *store, platform.executor,
                             platform.clock, platform.sleeper, platform.log});
        platform.log.clear();
        platform.executor.mainHops = 0;
        manager->objectWillChange().subscribe([this] { beforeWrites << viewState(); });
        std::optional<TouchBarResult> result;
        manager->restartTouchBar([&](TouchBarResult outcome) { result = outcome; });
        return result.value(); // the inline executor completes at once
    }

    // What a view drawing the manager would show, and what the store holds.
    QString viewState() const {
        const auto& error = manager->lastError();
        const auto& time = manager->lastRestartTime();
        return QStringLiteral("%1, %2, #%3 %4, saved %5")
            .arg(manager->isRestarting() ? "restarting" : "idle",
                 error ? error->localizedDescription() : "no error")
            .arg(manager->restartCount())
            .arg(time ? time->toString(Qt::ISODate) : "never")
            .arg(store->integer("TouchBarRestartCount"));
    }
    // The state after each write of the run.
    QStringList seenByView() const { return beforeWrites.mid(1) << viewState(); }
    QString output() const { return platform.log.lines().join('\n') + '\n'; }
};

} // namespace

TEST(Restart, SuccessRunsEveryStepThenSavesTheCountBeforeTheViewSeesTheEnd) {
    Rig rig;
    rig.system.running << "TouchBarAgent"
                       << "DFRFoundation";
    rig.system.relaunched << "TouchBarAgent";
    rig.system.domains = {"com.apple.touchbar.agent", "com.apple.TouchBarAgent"};
    rig.platform.defaults.values = {{"TouchBarRestartCount", 7}};

    EXPECT_TRUE(rig.restart().isSuccess());

    EXPECT_EQ(rig.output(), transcript("success"));
    EXPECT_EQ(
        rig.seenByView(),
        (QStringList{"idle, no error, #7 never, saved 7", "restarting, no error, #7 never, saved 7",
                     "restarting, no error, #7 never, saved 7",
                     "restarting, no error, #7 2025-03-01T14:05:11Z, saved 7",
                     "restarting, no error, #8 2025-03-01T14:05:11Z, saved 8",
                     "idle, no error, #8 2025-03-01T14:05:11Z, saved 8"}));
    EXPECT_EQ(rig.platform.defaults.object("LastTouchBarRestart"), QVariant(afterWait));
    EXPECT_EQ(rig.platform.sleeper.sleeps,
              std::vector<std::chrono::nanoseconds>{std::chrono::seconds(2)});
    EXPECT_EQ(rig.platform.executor.mainHops, 3);
}

TEST(Restart, FailedTerminationStillAttemptsTheRestAndSavesNothing) {
    Rig rig;
    rig.system.running << "TouchBarAgent";
    rig.system.killFailures = {{"TouchBarAgent", exited(2, "pkill: bad thing\n")}};

    const TouchBarResult result = rig.restart();

    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error().localizedDescription(),
              "Failed to restart TouchBarAgent: pkill: bad thing\n");
    EXPECT_EQ(rig.output(), transcript("termination-failed"));
    EXPECT_EQ(
        rig.seenByView(),
        (QStringList{
            "idle, no error, #0 never, saved 0", "restarting, no error, #0 never, saved 0",
            "restarting, no error, #0 never, saved 0",
            "restarting, Failed to restart TouchBarAgent: pkill: bad thing\n, #0 never, saved 0",
            "idle, Failed to restart TouchBarAgent: pkill: bad thing\n, #0 never, saved 0"}));
}

TEST(Restart, WithoutATouchBarEndsAfterTheBannerTouchingNoProcess) {
    Rig rig;
    rig.system.running = {"Dock"};
    const TouchBarResult result = rig.restart("MacBookAir10,1");

    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error().kind(), TouchBarError::Kind::NoTouchBar);
    EXPECT_EQ(rig.output(), transcript("no-touch-bar"));
    EXPECT_EQ(rig.seenByView(),
              (QStringList{"idle, no error, #0 never, saved 0",
                           "idle, This device doesn't have a Touch Bar, #0 never, saved 0",
                           "idle, This device doesn't have a Touch Bar, #0 never, saved 0"}));
    EXPECT_TRUE(rig.platform.sleeper.sleeps.empty());
}

TEST(Restart, OtherEndsOfARun) {
    const struct {
        const char* name;
        std::function<void(Rig&)> arrange;
        QString result;
        QString lastError;
        qint64 saved;
    } cases[] = {
        {"two terminations fail: the later one is the result",
         [](Rig& rig) {
             rig.system.killFailures = {{"ControlStrip", exited(3, "first\n")},
                                        {"DFRFoundation", notLaunched("Permission denied")}};
         },
         "Failed to restart DFRFoundation: Permission denied",
         "Failed to restart DFRFoundation: Permission denied", 0},
        {"TouchBarServer not back after the wait",
         [](Rig& rig) { rig.system.relaunched = {"ControlStrip"}; },
         "Failed to restart Touch Bar service", "none", 0},
        {"nothing ran before, the system starts TouchBarServer during the wait",
         [](Rig& rig) {
             rig.system.running = {};
             rig.platform.sleeper.duringSleep = [&rig] {
                 rig.system.running = {"TouchBarServer"};
             };
         },
         "success", "none", 1},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        Rig rig;
        testCase.arrange(rig);
        const TouchBarResult result = rig.restart();
        EXPECT_EQ(result.isSuccess() ? "success" : result.error().localizedDescription(),
                  testCase.result);
        const auto& error = rig.manager->lastError();
        EXPECT_EQ(error ? error->localizedDescription() : "none", testCase.lastError);
        EXPECT_EQ(rig.platform.defaults.integer("TouchBarRestartCount"), testCase.saved);
        EXPECT_EQ(rig.output().count("$ /usr/bin/pkill -x "), 6) << "every target is attempted";
        EXPECT_EQ(rig.output().contains("$ /usr/bin/defaults"), result.isSuccess());
        EXPECT_FALSE(rig.manager->isRestarting());
    }
}

TEST(Restart, CountStopsAtItsLargestValueAndSurvivesIntoTheNextLaunch) {
    QTemporaryDir folder;
    SettingsDefaultsStore settings(folder.filePath("com.tamberlin.corvane.conf"));
    settings.setInteger("TouchBarRestartCount", std::numeric_limits<qint64>::max() - 1);
    for (int launch = 0; launch < 2; ++launch) {
        Rig rig;
        rig.store = &settings;
        ASSERT_TRUE(rig.restart().isSuccess());
        EXPECT_TRUE(rig.output().contains("   Restart Count: #9223372036854775807\n"));
    }

    SettingsDefaultsStore reopened(folder.filePath("com.tamberlin.corvane.conf"));
    Rig next;
    next.system.running = {};
    next.store = &reopened;
    next.restart("MacBookAir10,1");
    EXPECT_EQ(next.manager->restartCount(), std::numeric_limits<qint64>::max());
    EXPECT_EQ(next.manager->lastRestartTime(), afterWait);
}

TEST(Restart, StatusOfTouchBarServerInAWord) {
    const struct {
        const char* model;
        ToolOutcome probe;
        QString status;
    } cases[] = {
        {"MacBookAir10,1", exited(0), "No Touch Bar"},
        {"MacBookPro16,1", exited(0), "Running"},
        {"MacBookPro16,1", exited(3), "Not Running"},
        {"MacBookPro16,1", notLaunched(), "Unknown"},
    };
    for (const auto& testCase : cases) {
        FakePlatform fakes;
        fakes.modelQuery = FakeModelQuery::answering(testCase.model);
        fakes.tools.setScript([&](const auto&) { return testCase.probe; });
        EXPECT_EQ(std::make_shared<TouchBarManager>(fakes.services())->getTouchBarStatus(),
                  testCase.status);
        EXPECT_EQ(fakes.tools.commandLines(),
                  testCase.status == "No Touch Bar"
                      ? QStringList{}
                      : QStringList{"/usr/bin/pgrep -x TouchBarServer"});
    }
}
