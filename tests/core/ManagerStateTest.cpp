#include "Fakes.h"
#include "TouchBarManager.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

const QDateTime storedDate(QDate(2024, 12, 24), QTime(18, 30, 15, 250), Qt::UTC);

} // namespace

TEST(ManagerState, ConstructionWritesLoadedValuesThenTheTrimmedModelsDetectionThenNotifiesOnce) {
    FakePlatform platform;
    platform.defaults.values = {{"TouchBarRestartCount", 7}, {"LastTouchBarRestart", storedDate}};
    platform.modelQuery = FakeModelQuery::answering(" MacBookPro13,3\n");

    // The log lines written at each notification tell the writes apart: the detection logs
    // only after writing hasTouchBar.
    std::vector<qsizetype> linesAtNotification;
    const auto manager = std::make_shared<TouchBarManager>(
        platform.services(), [&] { linesAtNotification.push_back(platform.log.lines().size()); });

    EXPECT_EQ(linesAtNotification, (std::vector<qsizetype>{0, 0, 0, 3}));
    EXPECT_EQ(manager->restartCount(), 7);
    EXPECT_EQ(manager->lastRestartTime(), storedDate);
    EXPECT_TRUE(manager->hasTouchBar());
    EXPECT_FALSE(manager->isRestarting() || manager->lastError());
    EXPECT_EQ(platform.log.lines(),
              (QStringList{"🔍 Initial Touch Bar Detection (Model Only):",
                           "   Model: MacBookPro13,3", "   Has Touch Bar: true"}));
    EXPECT_TRUE(platform.tools.calls().empty());
}

TEST(ManagerState, NotifiesBeforeEveryWriteAlsoOfAnUnchangedValue) {
    FakePlatform platform;
    platform.modelQuery = FakeModelQuery::answering("iMac20,1");
    FakeSystem system;
    system.running = {"TouchBarServer"};
    platform.tools.setScript(system.script());
    const auto manager = std::make_shared<TouchBarManager>(platform.services());

    std::vector<bool> seen;
    manager->objectWillChange().subscribe([&] { seen.push_back(manager->hasTouchBar()); });
    manager->performFullTouchBarDetection();
    manager->performFullTouchBarDetection();
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    EXPECT_TRUE(manager->hasTouchBar());
}

TEST(ManagerState, LoadsWhatTheStoreHoldsAndIgnoresWrongTypes) {
    const QString count = "TouchBarRestartCount", last = "LastTouchBarRestart";
    const struct {
        const char* name;
        QVariantMap stored;
        qint64 count;
        std::optional<QDateTime> time;
    } cases[] = {
        {"nothing stored", {}, 0, std::nullopt},
        {"both", {{count, 7}, {last, storedDate}}, 7, storedDate},
        {"a text for the date", {{count, 7}, {last, "2024-12-24T18:30:15Z"}}, 7, std::nullopt},
        {"a number for the date", {{last, 1735065015}}, 0, std::nullopt},
        {"a text for the count", {{count, "many"}}, 0, std::nullopt},
        {"a date for the count", {{count, storedDate}}, 0, std::nullopt},
    };
    for (const auto& [name, stored, restarts, time] : cases) {
        SCOPED_TRACE(name);
        FakePlatform platform;
        platform.defaults.values = stored;
        const auto manager = std::make_shared<TouchBarManager>(platform.services());
        EXPECT_EQ(manager->restartCount(), restarts);
        EXPECT_EQ(manager->lastRestartTime(), time);
    }
}
