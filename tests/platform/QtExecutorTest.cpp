#include "QtExecutor.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace corvane;

// From the background, hops and posts reach the main thread in the order they were made, and
// a hop returns only once its work has run there, with that work's writes visible.
TEST(QtExecutor, BackgroundReachesTheMainThreadInOrderAndAwaitsHops) {
    QtExecutor executor;
    QThread* const mainThread = QThread::currentThread();
    std::vector<std::string> order;
    std::vector<QThread*> threads;
    std::optional<std::size_t> seenAfterHop;
    QThread* background = nullptr;
    QEventLoop loop;

    executor.runInBackground([&] {
        background = QThread::currentThread();
        const auto record = [&](std::string step) {
            order.push_back(std::move(step));
            threads.push_back(QThread::currentThread());
        };
        executor.postToMain([record] { record("posted first"); });
        executor.runOnMain([record] { record("hop"); });
        seenAfterHop = order.size();
        executor.postToMain([record] { record("posted last"); });
        executor.postToMain([&] { loop.quit(); });
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_EQ(order, (std::vector<std::string>{"posted first", "hop", "posted last"}));
    EXPECT_EQ(threads, std::vector<QThread*>(3, mainThread));
    EXPECT_EQ(seenAfterHop, 2u);
    EXPECT_NE(background, mainThread);
}

// On the main thread a hop runs at once, a post waits for the event loop, and a post that
// outlives its executor never runs.
TEST(QtExecutor, OnTheMainThreadHopsRunInlineAndPostsWaitForTheLoop) {
    std::vector<std::string> order;
    {
        QtExecutor executor;
        executor.postToMain([&] { order.push_back("posted"); });
        executor.runOnMain([&] { order.push_back("hop"); });
        EXPECT_EQ(order, std::vector<std::string>{"hop"});
        QCoreApplication::processEvents();
        EXPECT_EQ(order, (std::vector<std::string>{"hop", "posted"}));

        executor.postToMain([&] { order.push_back("orphaned"); });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"hop", "posted"}));
}

// Main-thread work may wait in an event loop of its own, as a modal alert does; hops from the
// background still get through meanwhile.
TEST(QtExecutor, HopsGetThroughWhileMainThreadWorkRunsANestedLoop) {
    QtExecutor executor;
    bool hopped = false;
    QEventLoop outer;
    executor.postToMain([&] {
        QEventLoop nested;
        executor.runInBackground([&] {
            executor.runOnMain([&] { hopped = true; });
            executor.postToMain([&] { nested.quit(); });
        });
        QTimer::singleShot(10000, &nested, &QEventLoop::quit);
        nested.exec();
        outer.quit();
    });
    QTimer::singleShot(20000, &outer, &QEventLoop::quit);
    outer.exec();
    EXPECT_TRUE(hopped);
}
