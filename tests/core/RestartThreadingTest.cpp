#include "AwaitRestart.h"
#include "Fakes.h"
#include "QtExecutor.h"
#include "TouchBarManager.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

// With the real executor the main thread owns the published state: every write and the
// completion happen there, while the tools and the wait never block it, apart from the
// detection's probes, which run where the detection writes hasTouchBar.
TEST(RestartThreading, StateChangesOnTheMainThreadToolsAndWaitInTheBackground) {
    QThread* const main = QThread::currentThread();
    FakePlatform platform;
    FakeSystem system;
    system.running = system.relaunched = {"TouchBarServer", "ControlStrip"};
    std::vector<QThread*> tools;
    platform.tools.setScript([&, answer = system.script()](const auto& call) {
        tools.push_back(QThread::currentThread());
        return answer(call);
    });
    QThread* sleeper = nullptr;
    platform.sleeper.duringSleep = [&] {
        sleeper = QThread::currentThread();
    };
    QtExecutor executor;
    const auto manager = std::make_shared<TouchBarManager>(
        PlatformServices{platform.tools, platform.modelQuery, platform.defaults, executor,
                         platform.clock, platform.sleeper, platform.log});
    std::vector<QThread*> writes;
    manager->objectWillChange().subscribe([&] { writes.push_back(QThread::currentThread()); });

    const auto result = awaitRestart(*manager, std::chrono::seconds(30));

    ASSERT_TRUE(result && result->isSuccess()) << "none, or not on the main thread";
    EXPECT_EQ(writes, std::vector<QThread*>(6, main));
    ASSERT_EQ(tools.size(), 26U);
    EXPECT_EQ(tools.front(), main) << "the detection's probe";
    EXPECT_NE(sleeper, main);
    EXPECT_TRUE(std::all_of(tools.begin() + 1, tools.end(), [&](QThread* thread) {
        return thread == sleeper;
    })) << "one background thread runs the rest of the sequence";
}
