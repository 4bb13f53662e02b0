#include "Fakes.h"
#include "core/TouchBarManager.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

TEST(ManagerState, LoadsWhatTheSettingsHoldAndIgnoresWrongTypes) {
    const QDateTime date(QDate(2024, 12, 24), QTime(18, 30, 15, 250), Qt::UTC);
    const QString count = "TouchBarRestartCount", last = "LastTouchBarRestart";
    const struct {
        const char* name;
        QVariantMap stored;
        qint64 count;
        QDateTime time;
    } cases[] = {
        {"nothing stored", {}, 0, {}},
        {"both", {{count, 7}, {last, date}}, 7, date},
        {"a text for the date", {{count, 7}, {last, "2024-12-24T18:30:15Z"}}, 7, {}},
        {"a number for the date", {{last, 1735065015}}, 0, {}},
        {"a text for the count", {{count, "many"}}, 0, {}},
        {"a date for the count", {{count, date}}, 0, {}},
    };
    for (const auto& [name, stored, restarts, time] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir folder;
        QSettings settings(folder.filePath("corvane.conf"), QSettings::IniFormat);
        for (auto value = stored.begin(); value != stored.end(); ++value)
            settings.setValue(value.key(), value.value());
        settings.sync();
        FakeServices fakes;
        QSettings reread(settings.fileName(), QSettings::IniFormat);
        const TouchBarManager manager(fakes.services(), TouchBarServices::AppleProcesses, &reread);
        EXPECT_EQ(manager.restartCount(), restarts);
        EXPECT_EQ(manager.lastRestartTime(), time);
        EXPECT_TRUE(manager.hasTouchBar()) << "from the model alone";
        EXPECT_EQ(fakes.system.processes.size(), 0) << "no tool ran";
    }
}

// Observers hear of every write before it is made, also of an unchanged value; the property's
// own signal follows a change only.
TEST(ManagerState, AnnouncesEveryWriteBeforeItIsMade) {
    FakeServices fakes;
    fakes.modelQuery = FakeModelQuery::answering("iMac20,1");
    fakes.system.start({"TouchBarServer"});
    TouchBarManager manager(fakes.services(), TouchBarServices::AppleProcesses, nullptr);
    std::vector<bool> announced;
    QObject::connect(&manager, &TouchBarManager::aboutToChange,
                     [&] { announced.push_back(manager.hasTouchBar()); });
    QSignalSpy changed(&manager, &TouchBarManager::hasTouchBarChanged);
    QSignalSpy detected(&manager, &TouchBarManager::detectionFinished);
    manager.performFullTouchBarDetection();
    manager.performFullTouchBarDetection();
    EXPECT_TRUE(detected.wait(5000) && (detected.size() == 2 || detected.wait(5000)));
    EXPECT_EQ(announced, (std::vector<bool>{false, true}));
    EXPECT_EQ(changed.size(), 1);
    EXPECT_TRUE(manager.hasTouchBar());
}

// A manager that goes while it restarts waits for the restart, which then tells nobody.
TEST(ManagerState, GoesQuietlyDuringARestart) {
    FakeServices fakes;
    fakes.system.start({"TouchBarServer"});
    fakes.system.relaunched = {"TouchBarServer"};
    bool told = false;
    {
        TouchBarManager manager(fakes.services(), TouchBarServices::AppleProcesses, nullptr);
        QObject::connect(&manager, &TouchBarManager::restartFinished, [&] { told = true; });
        fakes.clock.duringSleep = [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        };
        ASSERT_TRUE(manager.restartTouchBar());
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
    EXPECT_TRUE(fakes.output.text().contains("COMPLETED SUCCESSFULLY"));
}
