#include "Replay.h"
#include "core/AfterWake.h"
#include "core/TouchBarManager.h"

#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <limits>
#include <thread>

using namespace corvane;
using namespace corvane::fakes;

namespace {

// A typical machine: a Touch Bar model, the main services relaunched as they end, a Dock.
struct Rig {
    FakeServices fakes;
    QTemporaryDir folder;
    QString settingsFile = folder.filePath("com.tamberlin.corvane.conf");
    const Backend* backend = &appleServices();
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<TouchBarManager> manager;

    Rig() {
        fakes.system.start({"TouchBarServer", "ControlStrip", "Dock"});
        fakes.system.relaunched = {"TouchBarServer", "ControlStrip"};
        fakes.system.transcript = &fakes.output.log;
    }

    // Restarts in a new launch, or as administrator in the same one.
    void restart(bool asAdministrator) {
        if (!asAdministrator) {
            manager.reset();
            settings = settingsFile.isEmpty()
                           ? nullptr
                           : std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
            manager = std::make_unique<TouchBarManager>(fakes.services(), *backend, settings.get());
            QObject::connect(manager.get(), &TouchBarManager::restartingChanged,
                             [this] { look(); });
        }
        QSignalSpy finished(manager.get(), &TouchBarManager::restartFinished);
        const bool started =
            asAdministrator ? manager->restartAsAdministrator() : manager->restartTouchBar();
        EXPECT_FALSE(manager->restartTouchBar()) << "a second restart while one runs";
        if (!started || !finished.wait(5000))
            return;
        const auto error = finished.at(0).at(0).value<std::optional<TouchBarError>>();
        fakes.output.log.writeLine("=> " + (error ? error->errorDescription() : "success"));
    }
    // Into the transcript: the manager's state, and the count the settings file holds.
    void look() {
        const auto& error = manager->lastError();
        fakes.output.log.writeLine(QStringLiteral("## %1%6 #%2 %3, %4 saved%5")
                                       .arg(manager->isRestarting() ? "restarting" : "idle")
                                       .arg(manager->restartCount())
                                       .arg(manager->lastRestartTime().toString(Qt::ISODate))
                                       .arg(QSettings(settingsFile, QSettings::IniFormat)
                                                .value("TouchBarRestartCount", 0)
                                                .toLongLong())
                                       .arg(error ? ", error: " + error->errorDescription() : "",
                                            manager->hasTouchBar() ? "" : " without a Touch Bar"));
    }
    // Restarts as a row of a restart's case file says, once the machine is changed as it says;
    // nothing for a sentence this does not know.
    std::optional<QString> play(const Row& row) {
        FakeSystem& machine = fakes.system;
        const QByteArray& who = row.fields.at(1);
        if (!QByteArrayList{"person", "administrator"}.contains(who))
            return std::nullopt;
        machine.answers.clear();
        fakes.clock.duringSleep = nullptr;
        for (qsizetype answer = 3; answer + 1 < row.fields.size(); answer += 2) {
            const std::optional<ToolOutcome> ends = outcome(row.fields.at(answer + 1));
            if (!ends)
                return std::nullopt;
            machine.answers.emplace(QString::fromUtf8(row.fields.at(answer)), *ends);
        }
        const QByteArray& change = row.fields.at(2);
        if (change == "a Touch Bar known by its service") {
            fakes.modelQuery = FakeModelQuery("iMac20,1");
            machine.start({"TouchBarAgent", "DFRFoundation"});
            machine.relaunched += "TouchBarAgent";
            machine.domains = {"com.apple.touchbar.agent", "com.apple.TouchBarAgent"};
            QSettings(settingsFile, QSettings::IniFormat).setValue("TouchBarRestartCount", 7);
        } else if (change == "root's copies and another user's" ||
                   change == "root's copies and another user's, through osascript") {
            machine.processes[0].owner = machine.processes[1].owner = 0;
            machine.processes << FakeSystem::Process{"TouchBarServer", 90, 502};
            if (change.endsWith("osascript"))
                fakes.prompt = administrator::Prompt::Osascript;
        } else if (change == "root's copies come back") {
            machine.processes.removeIf([](const auto& p) { return p.owner == 0; });
            machine.start({"TouchBarServer", "ControlStrip"});
        } else if (change == "one below the largest count saved") {
            QSettings(settingsFile, QSettings::IniFormat)
                .setValue("TouchBarRestartCount", std::numeric_limits<qint64>::max() - 1);
        } else if (change == "a settings file that cannot be written") {
            EXPECT_TRUE(QFile(folder.filePath("file")).open(QIODevice::WriteOnly));
            settingsFile = folder.filePath("file/com.tamberlin.corvane.conf");
        } else if (change == "no home folder") {
            settingsFile.clear();
        } else if (change == "tiny-dfr on a T2") {
            backend = &touchBarDaemon();
            machine.processes.clear();
            machine.start({"tiny-dfr"});
            machine.relaunched = {"tiny-dfr"};
            machine.makeT2(true);
        } else if (change == "another user's tiny-dfr") {
            machine.makeT2(true);
            machine.processes << FakeSystem::Process{"tiny-dfr", 300, 1000};
        } else if (change == "start-limit-hit") {
            machine.unitState = "failed", machine.unitResult = "start-limit-hit";
        } else if (change == "the display driver lost in the wait") {
            fakes.clock.duringSleep = [&machine] {
                machine.makeT2(false);
            };
        } else if (change.startsWith("a crash screen")) {
            machine.daemonLines = "2026-12-07T09:00:00+0000 host tiny-dfr[812]: thread 'main' "
                                  "panicked at 'Failed to open uinput', src/main.rs:60:10\n";
            if (change.endsWith("cleared"))
                fakes.clock.duringSleep = [&machine] {
                    machine.daemonLines.clear();
                };
        } else if (change == "a lost bridge") {
            machine.makeT2(true, false);
            machine.kernelLines = "2026-12-07T09:00:00+0000 host kernel: bce-vhci bce-vhci: "
                                  "[firmware] timed out waiting for a reply\n";
        } else if (change == "a timed-out display") {
            machine.makeT2(false);
            machine.daemonLines.clear();
            machine.kernelLines = "2026-12-07T09:00:00+0000 host kernel: appletbdrm 5-6:2.1: "
                                  "[drm] *ERROR* Failed to send message (-110)\n";
        } else if (change == "without drivers" || change == "without hardware") {
            machine.makeT2(change != "without drivers", change != "without hardware");
        } else if (change == "only ControlStrip relaunched") {
            machine.relaunched = {"ControlStrip"};
        } else if (change == "an ended TouchBarServer") {
            machine.processes << FakeSystem::Process{"TouchBarServer", 99, 501, true};
        } else if (change == "TouchBarAgent runs") {
            machine.start({"TouchBarAgent"});
        } else if (change == "no Touch Bar") {
            fakes.modelQuery = FakeModelQuery("MacBookAir10,1"), machine.processes.clear();
        } else if (change != "-") {
            return std::nullopt;
        }
        const qsizetype from = fakes.output.text().size();
        fakes.output.log.writeLine("######## " + QString::fromUtf8(row.fields.at(0)));
        restart(who == "administrator");
        EXPECT_FALSE(row.fields.at(0).endsWith("granted") && manager->restartAsAdministrator())
            << "left on offer";
        return fakes.output.text().mid(from).replace(folder.path(), "FOLDER");
    }
};

class Restart : public testing::TestWithParam<Row> {};

} // namespace

// Whole runs as the case files step them: each step after "########", the manager's state
// after "##", each line logged, each tool run after "$", the outcome after "=>"; once the
// administrator granted the fix, nothing is left on offer.
TEST_P(Restart, EndsAsEachStepOfItsCaseFileSays) {
    expectTranscript<Rig>(GetParam(), "######## ");
}

INSTANTIATE_TEST_SUITE_P(Transcript, Restart,
                         testing::ValuesIn(rows({"success", "failures", "not-restarted",
                                                 "administrator", "administrator-osascript",
                                                 "ladder", "count"})),
                         testing::PrintToStringParamName());

// Failed fixes after wakes stop at three; any fix that works clears them, a person's failed one
// leaves them, and a saved count that is nonsense reads as none or as the limit.
TEST(FailedWakes, StopAtTheLimitUntilAFixWorks) {
    int failed = 0;
    for (int wake = 0; wake < 4; ++wake)
        failed = failedWakesAfter(failed, true, false);
    EXPECT_EQ(failed, failedWakesLimit);
    EXPECT_EQ(failedWakesAfter(2, false, false), 2);
    EXPECT_EQ(failedWakesAfter(failedWakesLimit, false, true), 0);
    EXPECT_EQ(failedWakesAfter(-5, true, false), 1);
    EXPECT_EQ(failedWakesAfter(1000, false, false), failedWakesLimit);
}

TEST(Manager, LoadsWhatTheSettingsHoldAndIgnoresWrongTypes) {
    const QDateTime date = QDateTime::fromString("2024-12-24T18:30:15.250Z", Qt::ISODate);
    // What is stored under the count and the date (nothing when invalid), what loads.
    const std::tuple<QVariant, QVariant, qint64, QDateTime> cases[] = {
        {{}, {}, 0, {}},         {7, date, 7, date},  {7, "2024-12-24T18:30:15Z", 7, {}},
        {{}, 1735065015, 0, {}}, {"many", {}, 0, {}}, {date, {}, 0, {}},
        {-4, {}, 0, {}},
    };
    for (const auto& [count, last, restarts, time] : cases) {
        QTemporaryDir folder;
        QSettings settings(folder.filePath("corvane.conf"), QSettings::IniFormat);
        settings.setValue("TouchBarRestartCount", count);
        settings.setValue("LastTouchBarRestart", last);
        settings.sync();
        QSettings stored(settings.fileName(), QSettings::IniFormat);
        FakeServices fakes;
        const TouchBarManager manager(fakes.services(), appleServices(), &stored);
        EXPECT_EQ(manager.restartCount(), restarts) << count.toString().toStdString();
        EXPECT_EQ(manager.lastRestartTime(), time) << last.toString().toStdString();
        EXPECT_TRUE(manager.hasTouchBar() && fakes.system.processes.isEmpty())
            << "from the model alone, no tool run";
    }
}

// A manager that goes while it restarts waits for the restart, which then tells nobody.
TEST(Manager, GoesQuietlyDuringARestart) {
    FakeServices fakes;
    fakes.system.start({"TouchBarServer"});
    fakes.system.relaunched = {"TouchBarServer"};
    fakes.clock.duringSleep = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    bool told = false;
    {
        TouchBarManager manager(fakes.services(), appleServices(), nullptr);
        QObject::connect(&manager, &TouchBarManager::restartFinished, [&] { told = true; });
        ASSERT_TRUE(manager.restartTouchBar());
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
    EXPECT_TRUE(fakes.output.text().contains("COMPLETED SUCCESSFULLY"));
}
