#include "Fakes.h"
#include "TouchBarManager.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

const QDateTime storedDate(QDate(2024, 12, 24), QTime(18, 30, 15, 250), Qt::UTC);

} // namespace

TEST(ManagerState, ConstructionWritesLoadedValuesThenDetectionThenNotifiesOnce)
{
    FakePlatform platform;
    platform.defaults.values = {{"TouchBarRestartCount", 7}, {"LastTouchBarRestart", storedDate}};
    platform.modelQuery = FakeModelQuery::answering("MacBookPro17,1");

    // Which log lines had been written at each notification tells the writes apart: the
    // detection logs only after writing hasTouchBar.
    std::vector<qsizetype> linesAtNotification;
    const auto manager = std::make_shared<TouchBarManager>(platform.services(), [&] {
        linesAtNotification.push_back(platform.log.lines().size());
    });

    EXPECT_EQ(linesAtNotification, (std::vector<qsizetype>{0, 0, 0, 3}));
    EXPECT_EQ(manager->restartCount(), 7);
    EXPECT_EQ(manager->lastRestartTime(), storedDate);
    EXPECT_TRUE(manager->hasTouchBar());
    EXPECT_FALSE(manager->isRestarting());
    EXPECT_FALSE(manager->lastError());
    EXPECT_EQ(platform.log.lines(), (QStringList{"🔍 Initial Touch Bar Detection (Model Only):",
                                                 "   Model: MacBookPro17,1",
                                                 "   Has Touch Bar: true"}));
    EXPECT_TRUE(platform.tools.calls().empty());
}

TEST(ManagerState, NotifiesBeforeEveryWriteAlsoOfAnUnchangedValue)
{
    FakePlatform platform;
    platform.modelQuery = FakeModelQuery::answering("iMac20,1");
    FakeSystem system;
    system.running = {"TouchBarServer"};
    platform.tools.setScript(system.script());
    const auto manager = std::make_shared<TouchBarManager>(platform.services());
    ASSERT_FALSE(manager->hasTouchBar());

    std::vector<bool> seen;
    manager->objectWillChange().subscribe([&] { seen.push_back(manager->hasTouchBar()); });
    manager->performFullTouchBarDetection();
    manager->performFullTouchBarDetection();

    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    EXPECT_TRUE(manager->hasTouchBar());
}

TEST(ManagerState, LoadsWhatTheStoreHoldsAndIgnoresWrongTypes)
{
    const struct {
        const char* name;
        QVariantMap stored;
        qint64 count;
        std::optional<QDateTime> time;
    } cases[] = {
        {"empty store", {}, 0, std::nullopt},
        {"count and date", {{"TouchBarRestartCount", 7}, {"LastTouchBarRestart", storedDate}}, 7, storedDate},
        {"text under the date key",
         {{"TouchBarRestartCount", 7}, {"LastTouchBarRestart", "2024-12-24T18:30:15Z"}}, 7, std::nullopt},
        {"number under the date key", {{"LastTouchBarRestart", 1735065015}}, 0, std::nullopt},
        {"text under the count key", {{"TouchBarRestartCount", "many"}}, 0, std::nullopt},
        {"date under the count key", {{"TouchBarRestartCount", storedDate}}, 0, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakePlatform platform;
        platform.defaults.values = testCase.stored;
        const auto manager = std::make_shared<TouchBarManager>(platform.services());
        EXPECT_EQ(manager->restartCount(), testCase.count);
        EXPECT_EQ(manager->lastRestartTime(), testCase.time);
    }
}
