#include "Fakes.h"
#include "SettingsDefaultsStore.h"
#include "TouchBarManager.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace corvane;
using namespace corvane::fakes;

namespace {

const QString rule(60, QLatin1Char('='));
const QDateTime afterWait(QDate(2025, 3, 1), QTime(14, 5, 11), Qt::UTC);

// The store the manager saves to, noting for each write whether the restart was still
// under way: the view must never see isRestarting false before the statistics are saved.
class WatchedStore final : public DefaultsStore {
public:
    MemoryDefaultsStore stored;
    const TouchBarManager* manager = nullptr;
    QStringList writes;

    qint64 integer(const QString& key) const override { return stored.integer(key); }
    QVariant object(const QString& key) const override { return stored.object(key); }
    void setInteger(const QString& key, qint64 value) override {
        note(key);
        stored.setInteger(key, value);
    }
    void setDate(const QString& key, const QDateTime& value) override {
        note(key);
        stored.setDate(key, value);
    }

private:
    void note(const QString& key) {
        writes << key + (manager->isRestarting() ? " while restarting" : " after restarting");
    }
};

// What a view drawing the manager would show.
QString viewState(const TouchBarManager& manager) {
    const auto& time = manager.lastRestartTime();
    const auto& error = manager.lastError();
    return QString(manager.isRestarting() ? "restarting, " : "idle, ") +
           (manager.hasTouchBar() ? "touch bar, " : "no touch bar, ") +
           (error ? error->localizedDescription() : QString("no error")) + ", #" +
           QString::number(manager.restartCount()) + ", " +
           (time ? time->toString(Qt::ISODate) : QString("never"));
}

// The fakes of one run, with a Touch Bar model, the two main services running and relaunched
// by the system, and a Dock.
struct RestartRig {
    FakePlatform platform;
    FakeSystem system;
    WatchedStore store;
    std::shared_ptr<TouchBarManager> manager;
    // The state at each will-change notification, that is, just before each write.
    QStringList beforeWrites;

    RestartRig() {
        system.running = {"TouchBarServer", "ControlStrip", "Dock"};
        system.relaunched = {"TouchBarServer", "ControlStrip"};
        // The system relaunches the services during the wait, and the clock moves on.
        platform.sleeper.duringSleep = [this] {
            platform.clock.time = afterWait;
        };
    }

    void create(const QByteArray& model = "MacBookPro16,1") {
        platform.modelQuery = FakeModelQuery::answering(model);
        platform.tools.setScript(system.script());
        manager = std::make_shared<TouchBarManager>(
            PlatformServices{platform.tools, platform.modelQuery, store, platform.executor,
                             platform.clock, platform.sleeper, platform.log});
        store.manager = manager.get();
        platform.log.clear();
        platform.executor.mainHops = 0;
        manager->objectWillChange().subscribe([this] { beforeWrites << viewState(*manager); });
    }

    TouchBarResult restart() {
        std::optional<TouchBarResult> result;
        manager->restartTouchBar([&](TouchBarResult outcome) { result = outcome; });
        EXPECT_TRUE(result) << "the inline executor completes at once";
        return result.value_or(TouchBarResult::failure(TouchBarError::unknown("no completion")));
    }

    // What the view sees after each write of this run.
    QStringList seenByView() const { return beforeWrites.mid(1) << viewState(*manager); }

    // Each tool run as its program followed by its arguments.
    QList<QStringList> toolRuns() const {
        QList<QStringList> runs;
        for (const ScriptedToolRunner::Call& call : platform.tools.calls())
            runs << (QStringList{call.program} + call.arguments);
        return runs;
    }
};

struct RestartTest : ::testing::Test, RestartRig {};

const QStringList everyName = {"TouchBarServer", "NowPlayingTouchUI",  "ControlStrip",
                               "TouchBarAgent",  "TouchBarUserDevice", "DFRFoundation"};

QList<QStringList> eachName(const QString& tool) {
    QList<QStringList> runs;
    for (const QString& name : everyName)
        runs << QStringList{tool, "-x", name};
    return runs;
}

QList<QStringList> probe(const QString& name) {
    return {{"/usr/bin/pgrep", "-x", name}};
}

const QList<QStringList> preferenceReset = {
    {"/usr/bin/defaults", "delete", "com.apple.touchbar.agent"},
    {"/usr/bin/defaults", "delete", "com.apple.controlstrip"},
    {"/usr/bin/defaults", "delete", "com.apple.TouchBarAgent"},
    {"/usr/bin/killall", "Dock"},
};

// Every tool run of a run with a Touch Bar up to the verification, TouchBarServer running at
// the detection.
const QList<QStringList> throughVerification =
    probe("TouchBarServer") + eachName("/usr/bin/pgrep") + eachName("/usr/bin/pkill") +
    eachName("/usr/bin/pgrep") + probe("TouchBarServer") + probe("ControlStrip");

} // namespace

TEST_F(RestartTest, SuccessLogsEveryStepThenCountsAndSavesBeforeTheViewSeesTheEnd) {
    system.running = {"TouchBarServer", "ControlStrip", "TouchBarAgent", "DFRFoundation", "Dock"};
    system.relaunched = {"TouchBarServer", "TouchBarAgent"};
    system.domains = {"com.apple.touchbar.agent", "com.apple.TouchBarAgent", "com.apple.dock"};
    store.stored.values = {{"TouchBarRestartCount", 7}};
    create();

    const TouchBarResult result = restart();

    EXPECT_TRUE(result.isSuccess());
    EXPECT_EQ(
        platform.log.lines(),
        (QStringList{
            "🔍 Full Touch Bar Detection:",
            "   Model: MacBookPro16,1",
            "   Model in list: true",
            "   TouchBar processes found: true",
            "   Final detection: true",
            "🚀 Starting Touch Bar restart process...",
            "   Device has Touch Bar: true",
            "   Model: MacBookPro16,1",
            "\n" + rule,
            "🚀 TOUCH BAR RESTART INITIATED",
            "   Timestamp: 2025-03-01 14:05:09 +0000",
            "   Device model: MacBookPro16,1",
            "   Has Touch Bar: true",
            "   App: Corvane 1.2.1",
            rule,
            "\n📊 PRE-RESTART PROCESS STATUS:",
            "   • TouchBarServer: ✅ Running",
            "   • NowPlayingTouchUI: ❌ Not Running",
            "   • ControlStrip: ✅ Running",
            "   • TouchBarAgent: ✅ Running",
            "   • TouchBarUserDevice: ❌ Not Running",
            "   • DFRFoundation: ✅ Running",
            "\n🎯 KILLING PROCESSES:",
            "   Targets: TouchBarServer, NowPlayingTouchUI, ControlStrip, TouchBarAgent, "
            "TouchBarUserDevice, DFRFoundation",
            "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarServer' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: TouchBarServer",
            "   pkill TouchBarServer returned: 0",
            "   ✅ Successfully killed TouchBarServer",
            "📊 TOUCH_BAR_RESTART: Killing process 'NowPlayingTouchUI' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: NowPlayingTouchUI",
            "   pkill NowPlayingTouchUI returned: 1",
            "   ⚠️ NowPlayingTouchUI was not running",
            "📊 TOUCH_BAR_RESTART: Killing process 'ControlStrip' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: ControlStrip",
            "   pkill ControlStrip returned: 0",
            "   ✅ Successfully killed ControlStrip",
            "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarAgent' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: TouchBarAgent",
            "   pkill TouchBarAgent returned: 0",
            "   ✅ Successfully killed TouchBarAgent",
            "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarUserDevice' at 2025-03-01 14:05:09 "
            "+0000",
            "🔄 Attempting to kill process: TouchBarUserDevice",
            "   pkill TouchBarUserDevice returned: 1",
            "   ⚠️ TouchBarUserDevice was not running",
            "📊 TOUCH_BAR_RESTART: Killing process 'DFRFoundation' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: DFRFoundation",
            "   pkill DFRFoundation returned: 0",
            "   ✅ Successfully killed DFRFoundation",
            "\n⏱️ Waiting 2 seconds for processes to restart...",
            "\n📊 POST-RESTART PROCESS STATUS:",
            "   • TouchBarServer: ✅ Running",
            "   • NowPlayingTouchUI: ❌ Not Running",
            "   • ControlStrip: ❌ Not Running",
            "   • TouchBarAgent: ✅ Running",
            "   • TouchBarUserDevice: ❌ Not Running",
            "   • DFRFoundation: ❌ Not Running",
            "\n🔍 Verifying critical Touch Bar processes:",
            "   • TouchBarServer: ✅ VERIFIED RUNNING",
            "   • ControlStrip: ⚠️ NOT DETECTED",
            "🔧 Resetting Touch Bar preferences...",
            "🔧 Resetting Touch Bar preferences and cache...",
            "   ✅ Cleared com.apple.touchbar.agent",
            "   ✅ Cleared com.apple.TouchBarAgent",
            "   ✅ Restarted Dock to refresh Touch Bar",
            "\n" + rule,
            "✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!",
            "   Restart Count: #8",
            "   Timestamp: 2025-03-01 14:05:11 +0000",
            "   Duration: ~2.5 seconds",
            "   Final Status: Running",
            rule + "\n",
        }));

    EXPECT_EQ(seenByView(), (QStringList{
                                "idle, touch bar, no error, #7, never",
                                "restarting, touch bar, no error, #7, never",
                                "restarting, touch bar, no error, #7, never",
                                "restarting, touch bar, no error, #7, 2025-03-01T14:05:11Z",
                                "restarting, touch bar, no error, #8, 2025-03-01T14:05:11Z",
                                "idle, touch bar, no error, #8, 2025-03-01T14:05:11Z",
                            }));
    EXPECT_EQ(store.writes, (QStringList{"TouchBarRestartCount while restarting",
                                         "LastTouchBarRestart while restarting"}));
    EXPECT_EQ(store.stored.values.value("TouchBarRestartCount").toLongLong(), 8);
    EXPECT_EQ(store.stored.values.value("LastTouchBarRestart"), QVariant(afterWait));
    EXPECT_EQ(manager->lastRestartTime(), afterWait);

    EXPECT_EQ(toolRuns(), throughVerification + preferenceReset + probe("TouchBarServer"));
    for (const ScriptedToolRunner::Call& call : platform.tools.calls()) {
        EXPECT_EQ(call.standardError, call.program == "/usr/bin/pkill"
                                          ? ToolRunner::StandardError::Captured
                                          : ToolRunner::StandardError::Inherited)
            << call.program.toStdString();
    }
    EXPECT_EQ(platform.sleeper.sleeps,
              (std::vector<std::chrono::nanoseconds>{std::chrono::nanoseconds(2'000'000'000)}));
    // Detection, the start of the terminations and the success: nothing else touches state.
    EXPECT_EQ(platform.executor.mainHops, 3);
}

TEST_F(RestartTest, FailedTerminationStillAttemptsTheOthersAndFailsWithItsError) {
    system.running = {"TouchBarServer", "ControlStrip", "TouchBarAgent", "Dock"};
    system.relaunched = {"TouchBarServer", "ControlStrip", "TouchBarAgent"};
    system.domains = {"com.apple.touchbar.agent"};
    system.killFailures = {{"TouchBarAgent", exited(2, "pkill: bad thing\n")}};
    store.stored.values = {{"TouchBarRestartCount", 3}};
    create();

    const TouchBarResult result = restart();

    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error().kind(), TouchBarError::Kind::KillFailed);
    EXPECT_EQ(result.error().payload(), "TouchBarAgent: pkill: bad thing\n");
    EXPECT_EQ(
        platform.log.lines(),
        (QStringList{
            "🔍 Full Touch Bar Detection:",
            "   Model: MacBookPro16,1",
            "   Model in list: true",
            "   TouchBar processes found: true",
            "   Final detection: true",
            "🚀 Starting Touch Bar restart process...",
            "   Device has Touch Bar: true",
            "   Model: MacBookPro16,1",
            "\n" + rule,
            "🚀 TOUCH BAR RESTART INITIATED",
            "   Timestamp: 2025-03-01 14:05:09 +0000",
            "   Device model: MacBookPro16,1",
            "   Has Touch Bar: true",
            "   App: Corvane 1.2.1",
            rule,
            "\n📊 PRE-RESTART PROCESS STATUS:",
            "   • TouchBarServer: ✅ Running",
            "   • NowPlayingTouchUI: ❌ Not Running",
            "   • ControlStrip: ✅ Running",
            "   • TouchBarAgent: ✅ Running",
            "   • TouchBarUserDevice: ❌ Not Running",
            "   • DFRFoundation: ❌ Not Running",
            "\n🎯 KILLING PROCESSES:",
            "   Targets: TouchBarServer, NowPlayingTouchUI, ControlStrip, TouchBarAgent, "
            "TouchBarUserDevice, DFRFoundation",
            "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarServer' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: TouchBarServer",
            "   pkill TouchBarServer returned: 0",
            "   ✅ Successfully killed TouchBarServer",
            "📊 TOUCH_BAR_RESTART: Killing process 'NowPlayingTouchUI' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: NowPlayingTouchUI",
            "   pkill NowPlayingTouchUI returned: 1",
            "   ⚠️ NowPlayingTouchUI was not running",
            "📊 TOUCH_BAR_RESTART: Killing process 'ControlStrip' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: ControlStrip",
            "   pkill ControlStrip returned: 0",
            "   ✅ Successfully killed ControlStrip",
            "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarAgent' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: TouchBarAgent",
            "   pkill TouchBarAgent returned: 2",
            "   ❌ Failed to kill TouchBarAgent: pkill: bad thing\n",
            "❌ Failed to kill TouchBarAgent: Failed to restart TouchBarAgent: pkill: bad thing\n",
            "📊 TOUCH_BAR_RESTART: Killing process 'TouchBarUserDevice' at 2025-03-01 14:05:09 "
            "+0000",
            "🔄 Attempting to kill process: TouchBarUserDevice",
            "   pkill TouchBarUserDevice returned: 1",
            "   ⚠️ TouchBarUserDevice was not running",
            "📊 TOUCH_BAR_RESTART: Killing process 'DFRFoundation' at 2025-03-01 14:05:09 +0000",
            "🔄 Attempting to kill process: DFRFoundation",
            "   pkill DFRFoundation returned: 1",
            "   ⚠️ DFRFoundation was not running",
            "\n⏱️ Waiting 2 seconds for processes to restart...",
            "\n📊 POST-RESTART PROCESS STATUS:",
            "   • TouchBarServer: ✅ Running",
            "   • NowPlayingTouchUI: ❌ Not Running",
            "   • ControlStrip: ✅ Running",
            "   • TouchBarAgent: ✅ Running",
            "   • TouchBarUserDevice: ❌ Not Running",
            "   • DFRFoundation: ❌ Not Running",
            "\n🔍 Verifying critical Touch Bar processes:",
            "   • TouchBarServer: ✅ VERIFIED RUNNING",
            "   • ControlStrip: ✅ VERIFIED RUNNING",
            "❌ Touch Bar restart failed - process termination issues",
        }));
    EXPECT_EQ(
        seenByView(),
        (QStringList{
            "idle, touch bar, no error, #3, never",
            "restarting, touch bar, no error, #3, never",
            "restarting, touch bar, no error, #3, never",
            "restarting, touch bar, Failed to restart TouchBarAgent: pkill: bad thing\n, #3, never",
            "idle, touch bar, Failed to restart TouchBarAgent: pkill: bad thing\n, #3, never",
        }));
    EXPECT_EQ(toolRuns(), throughVerification);
    EXPECT_TRUE(store.writes.isEmpty());
    EXPECT_EQ(system.domains, QStringList{"com.apple.touchbar.agent"});
    EXPECT_EQ(platform.executor.mainHops, 4);
}

TEST_F(RestartTest, WithoutATouchBarEndsAfterTheBannerTouchingNoProcess) {
    system.running = {"Dock"};
    create("MacBookAir10,1");

    const TouchBarResult result = restart();

    ASSERT_FALSE(result.isSuccess());
    EXPECT_EQ(result.error().kind(), TouchBarError::Kind::NoTouchBar);
    EXPECT_EQ(platform.log.lines(), (QStringList{
                                        "🔍 Full Touch Bar Detection:",
                                        "   Model: MacBookAir10,1",
                                        "   Model in list: false",
                                        "   TouchBar processes found: false",
                                        "   Final detection: false",
                                        "🚀 Starting Touch Bar restart process...",
                                        "   Device has Touch Bar: false",
                                        "   Model: MacBookAir10,1",
                                        "\n" + rule,
                                        "🚀 TOUCH BAR RESTART INITIATED",
                                        "   Timestamp: 2025-03-01 14:05:09 +0000",
                                        "   Device model: MacBookAir10,1",
                                        "   Has Touch Bar: false",
                                        "   App: Corvane 1.2.1",
                                        rule,
                                        "❌ No Touch Bar detected on this device",
                                    }));
    EXPECT_EQ(seenByView(),
              (QStringList{
                  "idle, no touch bar, no error, #0, never",
                  "idle, no touch bar, This device doesn't have a Touch Bar, #0, never",
                  "idle, no touch bar, This device doesn't have a Touch Bar, #0, never",
              }));
    EXPECT_EQ(toolRuns(), probe("TouchBarServer") + probe("ControlStrip"));
    EXPECT_TRUE(platform.sleeper.sleeps.empty());
    EXPECT_TRUE(store.writes.isEmpty());
}

TEST(Restart, OtherEndsOfARun) {
    const struct {
        const char* name;
        std::function<void(RestartRig&)> arrange;
        std::optional<TouchBarError::Kind> failure;
        QStringList seenByView;
        QStringList lastLines;
        QList<QStringList> toolsAfterVerification;
    } cases[] = {
        {"two terminations fail: the later one is the result",
         [](RestartRig& rig) {
             rig.system.killFailures = {{"ControlStrip", exited(3, "first\n")},
                                        {"DFRFoundation", notLaunched("Permission denied")}};
         },
         TouchBarError::Kind::KillFailed,
         {"idle, touch bar, no error, #0, never", "restarting, touch bar, no error, #0, never",
          "restarting, touch bar, no error, #0, never",
          "restarting, touch bar, Failed to restart ControlStrip: first\n, #0, never",
          "restarting, touch bar, Failed to restart DFRFoundation: Permission denied, #0, never",
          "idle, touch bar, Failed to restart DFRFoundation: Permission denied, #0, never"},
         {"   • ControlStrip: ✅ VERIFIED RUNNING",
          "❌ Touch Bar restart failed - process termination issues"},
         {}},
        {"TouchBarServer not back after the wait",
         [](RestartRig& rig) { rig.system.relaunched = {"ControlStrip"}; },
         TouchBarError::Kind::ServiceRestartFailed,
         {"idle, touch bar, no error, #0, never", "restarting, touch bar, no error, #0, never",
          "restarting, touch bar, no error, #0, never", "idle, touch bar, no error, #0, never"},
         {"   • TouchBarServer: ⚠️ NOT DETECTED", "   • ControlStrip: ✅ VERIFIED RUNNING",
          "⚠️ Touch Bar restart completed but critical processes not detected",
          "   This may indicate a deeper system issue"},
         {}},
        {"nothing ran before, the system starts TouchBarServer during the wait",
         [](RestartRig& rig) {
             rig.system.running = {};
             rig.platform.sleeper.duringSleep = [&rig] {
                 rig.platform.clock.time = afterWait;
                 rig.system.running = {"TouchBarServer"};
             };
         },
         std::nullopt,
         {"idle, touch bar, no error, #0, never", "restarting, touch bar, no error, #0, never",
          "restarting, touch bar, no error, #0, never",
          "restarting, touch bar, no error, #0, 2025-03-01T14:05:11Z",
          "restarting, touch bar, no error, #1, 2025-03-01T14:05:11Z",
          "idle, touch bar, no error, #1, 2025-03-01T14:05:11Z"},
         {"   • TouchBarServer: ✅ VERIFIED RUNNING", "   • ControlStrip: ⚠️ NOT DETECTED",
          "🔧 Resetting Touch Bar preferences...", "🔧 Resetting Touch Bar preferences and cache...",
          "   ✅ Restarted Dock to refresh Touch Bar"},
         preferenceReset + probe("TouchBarServer")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        RestartRig rig;
        testCase.arrange(rig);
        rig.create();
        const bool serverAtDetection = rig.system.running.contains("TouchBarServer");

        const TouchBarResult result = rig.restart();

        ASSERT_EQ(result.isSuccess(), !testCase.failure);
        if (testCase.failure) {
            EXPECT_EQ(result.error().kind(), *testCase.failure);
        }
        if (testCase.failure == TouchBarError::Kind::KillFailed) {
            EXPECT_EQ(result.error().payload(), "DFRFoundation: Permission denied");
        }
        EXPECT_EQ(rig.seenByView(), testCase.seenByView);
        const QStringList lines = rig.platform.log.lines();
        const qsizetype tail = lines.indexOf(testCase.lastLines.first());
        EXPECT_EQ(lines.mid(tail, testCase.lastLines.size()), testCase.lastLines);
        if (testCase.failure) {
            EXPECT_EQ(lines.mid(tail), testCase.lastLines) << "nothing after the failure lines";
            EXPECT_TRUE(rig.store.writes.isEmpty());
        }
        // Every target is attempted whatever failed before it, then one verification.
        const QList<QStringList> detection = serverAtDetection
                                                 ? probe("TouchBarServer")
                                                 : probe("TouchBarServer") + probe("ControlStrip");
        EXPECT_EQ(rig.toolRuns(),
                  detection + throughVerification.mid(1) + testCase.toolsAfterVerification);
    }
}

TEST_F(RestartTest, CountStopsAtItsLargestValueInsteadOfWrapping) {
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    store.stored.values = {{"TouchBarRestartCount", largest}};
    create();

    ASSERT_TRUE(restart().isSuccess());

    EXPECT_EQ(manager->restartCount(), largest);
    EXPECT_EQ(store.stored.values.value("TouchBarRestartCount").toLongLong(), largest);
    EXPECT_TRUE(platform.log.lines().contains("   Restart Count: #9223372036854775807"));
}

TEST_F(RestartTest, CountAndDateSurviveIntoTheNextLaunchThroughTheSettingsFile) {
    QTemporaryDir folder;
    const QString file = folder.filePath("com.tamberlin.corvane.conf");
    platform.tools.setScript(system.script());
    {
        SettingsDefaultsStore settings(file);
        auto first = std::make_shared<TouchBarManager>(
            PlatformServices{platform.tools, platform.modelQuery, settings, platform.executor,
                             platform.clock, platform.sleeper, platform.log});
        std::optional<TouchBarResult> result;
        first->restartTouchBar([&](TouchBarResult outcome) { result = outcome; });
        ASSERT_TRUE(result && result->isSuccess());
    }

    SettingsDefaultsStore reopened(file);
    EXPECT_EQ(reopened.object("LastTouchBarRestart").typeId(), QMetaType::QDateTime);
    const auto second = std::make_shared<TouchBarManager>(
        PlatformServices{platform.tools, platform.modelQuery, reopened, platform.executor,
                         platform.clock, platform.sleeper, platform.log});
    EXPECT_EQ(second->restartCount(), 1);
    EXPECT_EQ(second->lastRestartTime(), afterWait);
}

TEST_F(RestartTest, StatusOfTouchBarServerInAWord) {
    const struct {
        const char* model;
        ToolOutcome probe;
        QString status;
        bool probed;
    } cases[] = {
        {"MacBookAir10,1", exited(0), "No Touch Bar", false},
        {"MacBookPro16,1", exited(0), "Running", true},
        {"MacBookPro16,1", exited(1), "Not Running", true},
        {"MacBookPro16,1", exited(3), "Not Running", true},
        {"MacBookPro16,1", notLaunched(), "Unknown", true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.status.toStdString());
        FakePlatform fakes;
        fakes.modelQuery = FakeModelQuery::answering(testCase.model);
        fakes.tools.setScript([&](const ScriptedToolRunner::Call&) { return testCase.probe; });
        const auto status = std::make_shared<TouchBarManager>(fakes.services());
        fakes.log.clear();

        EXPECT_EQ(status->getTouchBarStatus(), testCase.status);
        EXPECT_EQ(fakes.tools.commandLines(), testCase.probed
                                                  ? QStringList{"/usr/bin/pgrep -x TouchBarServer"}
                                                  : QStringList{});
        EXPECT_TRUE(fakes.log.lines().isEmpty());
    }
}
