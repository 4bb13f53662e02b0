#include "Fakes.h"
#include "core/TouchBarManager.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
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

// The machine of a typical run: a Touch Bar model, the two main services running and relaunched
// by the system, a Dock, the settings in a file; the clock moves on during the wait.
struct Rig {
    FakeServices fakes;
    QTemporaryDir folder;
    QString settingsFile = folder.filePath("com.tamberlin.corvane.conf");
    TouchBarServices kind = TouchBarServices::AppleProcesses;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<TouchBarManager> manager;
    // Each state the manager passes through, with the count the settings file holds.
    QStringList seen;
    qsizetype outputBefore = 0;

    Rig() {
        fakes.system.start({"TouchBarServer", "ControlStrip", "Dock"});
        fakes.system.relaunched = {"TouchBarServer", "ControlStrip"};
        fakes.system.transcript = &fakes.output.log;
        fakes.clock.duringSleep = [this] {
            fakes.clock.time = fakes.clock.time.addSecs(2);
        };
    }

    // Launches anew on the settings so far, unless `again`, and restarts; "success" or the
    // error.
    QString restart(bool asAdministrator = false, bool again = false) {
        if (!again) {
            manager.reset();
            settings = std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
            manager = std::make_unique<TouchBarManager>(fakes.services(), kind, settings.get());
            const auto look = [this] {
                this->look();
            };
            QObject::connect(manager.get(), &TouchBarManager::restartingChanged, look);
            QObject::connect(manager.get(), &TouchBarManager::restartCountChanged, look);
            QObject::connect(manager.get(), &TouchBarManager::lastErrorChanged, look);
        }
        outputBefore = fakes.output.text().size();
        QSignalSpy finished(manager.get(), &TouchBarManager::restartFinished);
        const bool started =
            asAdministrator ? manager->restartAsAdministrator() : manager->restartTouchBar();
        EXPECT_FALSE(manager->restartTouchBar()) << "a second restart while one runs";
        if (!started || !finished.wait(5000))
            return "not run";
        const auto error = finished.at(0).at(0).value<std::optional<TouchBarError>>();
        return error ? error->errorDescription() : "success";
    }

    void look() {
        const auto& error = manager->lastError();
        const QString state = QStringLiteral("%1 #%2 %3 saved %4%5")
                                  .arg(manager->isRestarting() ? "restarting" : "idle")
                                  .arg(manager->restartCount())
                                  .arg(manager->lastRestartTime().toString(Qt::ISODate))
                                  .arg(QSettings(settingsFile, QSettings::IniFormat)
                                           .value("TouchBarRestartCount", 0)
                                           .toLongLong())
                                  .arg(error ? ": " + error->errorDescription() : "");
        if (seen.isEmpty() || seen.last() != state)
            seen << state;
    }
    QString output() { return fakes.output.text().mid(outputBefore); }
};

} // namespace

TEST(Restart, SuccessRunsEveryStepThenSavesTheCountBeforeItEnds) {
    Rig rig;
    rig.fakes.system.start({"TouchBarAgent", "DFRFoundation"});
    rig.fakes.system.relaunched += "TouchBarAgent";
    rig.fakes.system.domains = {"com.apple.touchbar.agent", "com.apple.TouchBarAgent"};
    QSettings(rig.settingsFile, QSettings::IniFormat).setValue("TouchBarRestartCount", 7);

    EXPECT_EQ(rig.restart(), "success");
    EXPECT_EQ(rig.output(), transcript("success"));
    EXPECT_EQ(rig.seen,
              (QStringList{"restarting #7  saved 7", "restarting #8 2025-03-01T14:05:11Z saved 7",
                           "restarting #8 2025-03-01T14:05:11Z saved 8",
                           "idle #8 2025-03-01T14:05:11Z saved 8"}));
    EXPECT_EQ(rig.fakes.clock.sleeps, std::vector{std::chrono::nanoseconds{2'000'000'000}});
}

TEST(Restart, FailedTerminationStillAttemptsTheRestAndSavesNothing) {
    Rig rig;
    rig.fakes.system.start({"TouchBarAgent"});
    rig.fakes.system.answers = {{"/usr/bin/pkill TouchBarAgent", exited(2, "pkill: bad\n")}};
    const QString error = "Failed to restart TouchBarAgent: pkill: bad\n";

    EXPECT_EQ(rig.restart(), error);
    EXPECT_EQ(rig.output(), transcript("termination-failed"));
    EXPECT_EQ(rig.seen.last(), "idle #0  saved 0: " + error);

    // Of two failed terminations, the later is the result.
    rig.fakes.system.answers.emplace("/usr/bin/pkill DFRFoundation", notLaunched("Denied"));
    EXPECT_EQ(rig.restart(), "Failed to restart DFRFoundation: Denied");
}

TEST(Restart, WithoutATouchBarEndsAfterTheBannerTouchingNoProcess) {
    Rig rig;
    rig.fakes.modelQuery = FakeModelQuery::answering("MacBookAir10,1");
    rig.fakes.system.processes.clear();
    const QString error = "This device doesn't have a Touch Bar";

    EXPECT_EQ(rig.restart(), error);
    EXPECT_EQ(rig.output(), transcript("no-touch-bar"));
    EXPECT_EQ(rig.seen, (QStringList{"restarting #0  saved 0", "restarting #0  saved 0: " + error,
                                     "idle #0  saved 0: " + error}));
    EXPECT_TRUE(rig.fakes.clock.sleeps.empty());
}

// A restart is a new process: TouchBarServer missing, still the same, or only ended but not
// reaped after the wait is a failure, and nothing is reset or counted.
TEST(Restart, TouchBarServerNotBackAsANewProcessFails) {
    const QString notBack = "Failed to restart Touch Bar service";
    const struct {
        std::function<void(FakeSystem&)> arrange;
        QString result;
    } cases[] = {
        {[](FakeSystem& system) { system.relaunched = {"ControlStrip"}; }, notBack},
        {[](FakeSystem& system) {
             system.relaunched = {"ControlStrip"};
             system.processes << FakeSystem::Process{"TouchBarServer", 99, 501, true};
         },
         notBack},
        {[](FakeSystem& system) {
             system.answers = {{"/usr/bin/pkill TouchBarServer", exited(0)}};
         },
         "Failed to restart TouchBarServer: the same process (PID 100) is still running after "
         "being asked to quit"},
        {[](FakeSystem& system) { system.hanging = {"/usr/bin/pgrep"}; },
         notBack + ": /usr/bin/pgrep did not finish in time and was stopped"},
    };
    for (const auto& [arrange, result] : cases) {
        Rig rig;
        arrange(rig.fakes.system);
        EXPECT_EQ(rig.restart(), result);
        EXPECT_EQ(rig.manager->restartCount(), 0);
        EXPECT_FALSE(rig.output().contains("$ /usr/bin/defaults"));
    }
}

TEST(Restart, CountStopsAtItsLargestValueAndSurvivesIntoTheNextLaunch) {
    Rig rig;
    QSettings(rig.settingsFile, QSettings::IniFormat)
        .setValue("TouchBarRestartCount", std::numeric_limits<qint64>::max() - 1);
    ASSERT_EQ(rig.restart(), "success");
    rig.seen.clear();

    ASSERT_EQ(rig.restart(), "success");
    EXPECT_EQ(rig.manager->restartCount(), std::numeric_limits<qint64>::max());
    EXPECT_EQ(rig.seen.last(),
              "idle #9223372036854775807 2025-03-01T14:05:13Z saved 9223372036854775807");
}

// TouchBarServer belongs to root: the restart is refused, and one prompt later it is done.
TEST(Restart, ARefusedServiceIsRestartedAsAdministrator) {
    Rig rig;
    rig.fakes.system.processes[0].owner = 0;
    EXPECT_EQ(rig.restart(), TouchBarError::permissionDenied("TouchBarServer").errorDescription());
    EXPECT_EQ(rig.manager->restartCount(), 0);
    const QString refused = rig.output();

    rig.fakes.system.answers = {{"/usr/bin/pkexec TouchBarServer", exited(126)}};
    EXPECT_EQ(rig.restart(true, true), TouchBarError::administratorDeclined().errorDescription());
    EXPECT_FALSE(rig.output().contains("Waiting"));
    rig.fakes.system.answers.clear();
    EXPECT_EQ(rig.restart(true, true), "success");
    EXPECT_EQ(refused + rig.output(), transcript("administrator"));
    EXPECT_EQ(rig.seen.last(), "idle #1 2025-03-01T14:05:13Z saved 1");
    EXPECT_FALSE(rig.manager->restartAsAdministrator()) << "nothing is left refused";
}

// On Linux the daemon tiny-dfr draws the Touch Bar, and systemd restarts it.
TEST(Restart, TheLinuxDaemonIsRestartedBySystemdAsTheUserOrAsAdministrator) {
    Rig rig;
    rig.kind = TouchBarServices::LinuxDaemon;
    rig.fakes.modelQuery = FakeModelQuery::answering("MacBookPro15,2");
    rig.fakes.system.processes.clear();
    rig.fakes.system.start({"tiny-dfr"});
    rig.fakes.system.relaunched = {"tiny-dfr"};
    rig.fakes.system.answers = {
        {"/usr/bin/systemctl tiny-dfr.service",
         exited(1, "Failed to restart tiny-dfr.service: Interactive authentication required.\n")}};

    EXPECT_EQ(rig.restart(),
              TouchBarError::permissionDenied("tiny-dfr.service").errorDescription());
    const QString refused = rig.output();
    rig.fakes.system.answers.clear();
    EXPECT_EQ(rig.restart(true, true), "success");
    EXPECT_EQ(refused + rig.output(), transcript("linux-daemon"));
}

TEST(Restart, ACountThatCannotBeSavedIsReported) {
    Rig rig;
    QFile blocker(rig.folder.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    rig.settingsFile = blocker.fileName() + "/com.tamberlin.corvane.conf";
    EXPECT_EQ(rig.restart(), "success");
    EXPECT_EQ(rig.manager->restartCount(), 1);
    EXPECT_TRUE(rig.output().endsWith("⚠️ Could not save the restart count to " +
                                      rig.settingsFile + "\n"));

    // Without a home folder there is nowhere to keep it.
    TouchBarManager homeless(rig.fakes.services(), rig.kind, nullptr);
    QSignalSpy finished(&homeless, &TouchBarManager::restartFinished);
    homeless.restartTouchBar();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(rig.fakes.output.text().endsWith(
        "⚠️ The restart count was not saved: there is no home folder to keep it in\n"));
}
