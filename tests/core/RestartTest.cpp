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

// A run's standard output as the user sees it, each tool run shown as "$ program arguments".
QString transcript(const QString& name) {
    QFile file(QStringLiteral(CORVANE_TRANSCRIPTS "/") + name + QStringLiteral(".txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The machine of a typical run: a Touch Bar model, the two main services running and
// relaunched by the system, a Dock, the settings in a file; the clock moves on during the wait.
struct Rig {
    FakePlatform platform;
    FakeSystem system;
    QTemporaryDir folder;
    SettingsDefaultsStore settings{folder.filePath("com.tamberlin.corvane.conf")};
    std::shared_ptr<TouchBarManager> manager;
    // Each state a view drawing the manager passes through, with the count the file holds.
    QStringList seen;

    Rig() {
        system.running = {"TouchBarServer", "ControlStrip", "Dock"};
        system.relaunched = {"TouchBarServer", "ControlStrip"};
        platform.sleeper.duringSleep = [this] {
            platform.clock.time = QDateTime(QDate(2025, 3, 1), QTime(14, 5, 11), Qt::UTC);
        };
        platform.tools.setScript([this, answer = system.script()](const auto& call) {
            platform.log.writeLine("$ " + (QStringList{call.program} + call.arguments).join(' '));
            return answer(call);
        });
    }

    // Launches the application anew on `model`, with the settings so far, and restarts; the
    // result is "success" or the error.
    QString restart(const QByteArray& model = "MacBookPro16,1") {
        platform.modelQuery = FakeModelQuery::answering(model);
        manager = std::make_shared<TouchBarManager>(
            PlatformServices{platform.tools, platform.modelQuery, settings, platform.executor,
                             platform.clock, platform.sleeper, platform.log});
        platform.log.clear();
        // Every write is announced before it is made: each announcement shows the one before.
        manager->objectWillChange().subscribe([this] { look(); });
        std::optional<TouchBarResult> result;
        manager->restartTouchBar([&](TouchBarResult outcome) { result = outcome; });
        look();
        const TouchBarResult& ended = result.value(); // the inline executor completes at once
        return ended.isSuccess() ? "success" : ended.error().localizedDescription();
    }

    void look() {
        const auto& error = manager->lastError();
        const auto& time = manager->lastRestartTime();
        const QString state = QStringLiteral("%1 #%2 %3 saved %4%5")
                                  .arg(manager->isRestarting() ? "restarting" : "idle")
                                  .arg(manager->restartCount())
                                  .arg(time ? time->toString(Qt::ISODate) : "never")
                                  .arg(settings.integer("TouchBarRestartCount"))
                                  .arg(error ? ": " + error->localizedDescription() : "");
        if (seen.isEmpty() || seen.last() != state)
            seen << state;
    }
    QString output() const { return platform.log.lines().join('\n') + '\n'; }
};

} // namespace

TEST(Restart, SuccessRunsEveryStepThenSavesTheCountBeforeTheViewSeesTheEnd) {
    Rig rig;
    rig.system.running += {"TouchBarAgent", "DFRFoundation"};
    rig.system.relaunched += "TouchBarAgent";
    rig.system.domains = {"com.apple.touchbar.agent", "com.apple.TouchBarAgent"};
    rig.settings.setInteger("TouchBarRestartCount", 7);

    EXPECT_EQ(rig.restart(), "success");
    EXPECT_EQ(rig.output(), transcript("success"));
    EXPECT_EQ(rig.seen, (QStringList{"idle #7 never saved 7", "restarting #7 never saved 7",
                                     "restarting #7 2025-03-01T14:05:11Z saved 7",
                                     "restarting #8 2025-03-01T14:05:11Z saved 8",
                                     "idle #8 2025-03-01T14:05:11Z saved 8"}));
    EXPECT_EQ(rig.platform.sleeper.sleeps, std::vector{std::chrono::nanoseconds{2'000'000'000}});
    EXPECT_EQ(rig.platform.executor.mainHops, 3);
}

TEST(Restart, FailedTerminationStillAttemptsTheRestAndSavesNothing) {
    Rig rig;
    rig.system.running += "TouchBarAgent";
    rig.system.killFailures = {{"TouchBarAgent", exited(2, "pkill: bad thing\n")}};
    const QString error = "Failed to restart TouchBarAgent: pkill: bad thing\n";

    EXPECT_EQ(rig.restart(), error);
    EXPECT_EQ(rig.output(), transcript("termination-failed"));
    EXPECT_EQ(rig.seen, (QStringList{"idle #0 never saved 0", "restarting #0 never saved 0",
                                     "restarting #0 never saved 0: " + error,
                                     "idle #0 never saved 0: " + error}));
}

TEST(Restart, WithoutATouchBarEndsAfterTheBannerTouchingNoProcess) {
    Rig rig;
    rig.system.running = {"Dock"};
    const QString error = "This device doesn't have a Touch Bar";

    EXPECT_EQ(rig.restart("MacBookAir10,1"), error);
    EXPECT_EQ(rig.output(), transcript("no-touch-bar"));
    EXPECT_EQ(rig.seen, (QStringList{"idle #0 never saved 0", "idle #0 never saved 0: " + error}));
    EXPECT_TRUE(rig.platform.sleeper.sleeps.empty());
}

TEST(Restart, OfTwoFailedTerminationsTheLaterIsTheResult) {
    Rig rig;
    rig.system.killFailures = {{"ControlStrip", exited(3, "first\n")},
                               {"DFRFoundation", notLaunched("Permission denied")}};
    const QString error = "Failed to restart DFRFoundation: Permission denied";

    EXPECT_EQ(rig.restart(), error);
    EXPECT_EQ(rig.seen.last(), "idle #0 never saved 0: " + error);
}

TEST(Restart, TouchBarServerNotBackAfterTheWaitFailsWithNothingSavedNorShown) {
    Rig rig;
    rig.system.relaunched = {"ControlStrip"};

    EXPECT_EQ(rig.restart(), "Failed to restart Touch Bar service");
    EXPECT_EQ(rig.seen.last(), "idle #0 never saved 0");
    EXPECT_FALSE(rig.output().contains("$ /usr/bin/defaults"));
}

TEST(Restart, ServicesTheSystemStartsOnlyDuringTheWaitCountAsASuccess) {
    Rig rig;
    rig.system.running = {};
    rig.platform.sleeper.duringSleep = [&rig] {
        rig.system.running = {"TouchBarServer"};
    };

    EXPECT_EQ(rig.restart(), "success");
    EXPECT_EQ(rig.seen.last(), "idle #1 2025-03-01T14:05:09Z saved 1");
}

TEST(Restart, CountStopsAtItsLargestValueAndSurvivesIntoTheNextLaunch) {
    Rig rig;
    rig.settings.setInteger("TouchBarRestartCount", std::numeric_limits<qint64>::max() - 1);
    ASSERT_EQ(rig.restart(), "success");
    rig.seen.clear();

    ASSERT_EQ(rig.restart(), "success");
    const QString largest = "#9223372036854775807 2025-03-01T14:05:11Z saved 9223372036854775807";
    EXPECT_EQ(rig.seen,
              (QStringList{"idle " + largest, "restarting " + largest, "idle " + largest}));
}

TEST(Restart, StatusOfTouchBarServerInAWord) {
    const std::tuple<const char*, ToolOutcome, QString> cases[] = {
        {"MacBookAir10,1", exited(0), "No Touch Bar"},
        {"MacBookPro16,1", exited(0), "Running"},
        {"MacBookPro16,1", exited(3), "Not Running"},
        {"MacBookPro16,1", notLaunched(), "Unknown"},
    };
    for (const auto& [model, probe, status] : cases) {
        FakePlatform fakes;
        fakes.modelQuery = FakeModelQuery::answering(model);
        fakes.tools.setScript([&](const auto&) { return probe; });
        EXPECT_EQ(std::make_shared<TouchBarManager>(fakes.services())->getTouchBarStatus(), status);
    }
}
