#include "QtExecutor.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

using namespace corvane;

// Hops and posts from the background keep their order, also while main-thread work waits in a
// loop of its own as a modal alert does; from the main thread a hop runs at once.
TEST(QtExecutor, ReachesTheMainThreadInOrderAlsoDuringANestedLoopAndNeverAfterItsEnd) {
    QThread* const main = QThread::currentThread();
    QStringList steps;
    const auto record = [&](const QString& step) {
        steps << step + (QThread::currentThread() == main ? " on main" : " in the background");
    };
    std::optional<QtExecutor> executor(std::in_place);
    QEventLoop loop;
    executor->postToMain([&] {
        QEventLoop nested;
        executor->runInBackground([&] {
            executor->postToMain([&] { record("post"); });
            executor->runOnMain([&] { record("hop"); });
            record("after the hop");
            executor->postToMain([&] { nested.quit(); });
        });
        nested.exec();
        loop.quit();
    });
    executor->runOnMain([&] { record("hop"); });
    EXPECT_EQ(steps, QStringList{"hop on main"});
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(steps, (QStringList{"hop on main", "post on main", "hop on main",
                                  "after the hop in the background"}));

    executor->postToMain([&] { record("orphaned post"); });
    executor.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(steps.size(), 4);
}
