#include "AwaitRestart.h"
#include "Fakes.h"
#include "QtExecutor.h"
#include "TouchBarManager.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

// With the real executor: the view's thread owns the published state, so every write and the
// completion happen there, while the tools and the wait never block it, apart from the
// detection's probes, which run where the detection writes hasTouchBar.
TEST(RestartThreading, StateChangesOnTheMainThreadToolsAndWaitInTheBackground) {
    const struct {
        const char* name;
        QByteArray model;
        std::map<QString, ToolOutcome> killFailures;
        std::size_t writes;
        std::size_t detectionProbes;
    } cases[] = {
        {"success", "MacBookPro18,3", {}, 6, 1},
        {"termination failure", "MacBookPro18,3", {{"TouchBarAgent", exited(2, "no\n")}}, 5, 1},
        {"no Touch Bar", "MacBookAir10,1", {}, 3, 2},
    };
    QThread* const mainThread = QThread::currentThread();
    ASSERT_EQ(mainThread, QCoreApplication::instance()->thread());

    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakePlatform platform;
        platform.modelQuery = FakeModelQuery::answering(testCase.model);
        FakeSystem system;
        if (testCase.model.startsWith("MacBookPro"))
            system.running = {"TouchBarServer", "ControlStrip"};
        system.relaunched = system.running;
        system.killFailures = testCase.killFailures;
        std::vector<QThread*> toolThreads;
        platform.tools.setScript(
            [&, answer = system.script()](const ScriptedToolRunner::Call& call) {
                toolThreads.push_back(QThread::currentThread());
                return answer(call);
            });
        std::vector<QThread*> sleepThreads;
        platform.sleeper.duringSleep = [&] {
            sleepThreads.push_back(QThread::currentThread());
        };
        QtExecutor executor;
        const auto manager = std::make_shared<TouchBarManager>(
            PlatformServices{platform.tools, platform.modelQuery, platform.defaults, executor,
                             platform.clock, platform.sleeper, platform.log});
        std::vector<QThread*> writeThreads;
        manager->objectWillChange().subscribe(
            [&] { writeThreads.push_back(QThread::currentThread()); });

        const AwaitedRestart awaited = awaitRestart(*manager, std::chrono::seconds(30));

        ASSERT_TRUE(awaited.result) << "no completion within 30 s";
        EXPECT_EQ(awaited.result->isSuccess(),
                  testCase.killFailures.empty() && testCase.model.startsWith("MacBookPro"));
        EXPECT_EQ(awaited.completionThread, mainThread);
        EXPECT_EQ(writeThreads, std::vector<QThread*>(testCase.writes, mainThread));

        ASSERT_GE(toolThreads.size(), testCase.detectionProbes);
        const std::vector<QThread*> detection(
            toolThreads.begin(),
            toolThreads.begin() + static_cast<std::ptrdiff_t>(testCase.detectionProbes));
        EXPECT_EQ(detection, std::vector<QThread*>(testCase.detectionProbes, mainThread));
        const std::vector<QThread*> background(
            toolThreads.begin() + static_cast<std::ptrdiff_t>(testCase.detectionProbes),
            toolThreads.end());
        for (QThread* thread : background)
            EXPECT_NE(thread, mainThread);
        for (QThread* thread : sleepThreads)
            EXPECT_NE(thread, mainThread);
        EXPECT_EQ(sleepThreads.size(), testCase.model.startsWith("MacBookPro") ? 1u : 0u);
        if (!background.empty()) {
            EXPECT_EQ(std::count(background.begin(), background.end(), background.front()),
                      static_cast<std::ptrdiff_t>(background.size()))
                << "one background thread runs the whole sequence";
        }
    }
}
