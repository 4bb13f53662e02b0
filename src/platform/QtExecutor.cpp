#include "QtExecutor.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace corvane {

// Work for the main thread travels through a queue of our own under a std::mutex; the event
// loop only carries an empty wake-up. The mutex is what orders a closure's captures before
// the main thread runs it, in a way every tool (ThreadSanitizer included) can see, rather
// than Qt's internal locking around its event queue.
class QtExecutor::MainQueue final : public QObject {
public:
    MainQueue() { moveToThread(QCoreApplication::instance()->thread()); }

    void post(std::function<void()> work) {
        // Made before the push, so the mutex also orders it before the main thread, which
        // deletes it after it has drained the queue.
        auto* wakeUp = new QEvent(wakeUpType);
        {
            std::lock_guard lock(mutex);
            pending.push_back(std::move(work));
        }
        QCoreApplication::postEvent(this, wakeUp);
    }

protected:
    bool event(QEvent* event) override {
        // Even the type is read under the lock: the wake-up was made on the posting thread.
        std::unique_lock lock(mutex);
        if (event->type() != wakeUpType) {
            lock.unlock();
            return QObject::event(event);
        }
        // Run outside the lock: work may post more work.
        std::deque<std::function<void()>> ready;
        ready.swap(pending);
        lock.unlock();
        for (std::function<void()>& work : ready)
            work();
        return true;
    }

private:
    // Only this object receives it, so the first user type cannot be mistaken for another.
    static constexpr QEvent::Type wakeUpType = QEvent::User;

    std::mutex mutex;
    std::deque<std::function<void()>> pending;
};

QtExecutor::QtExecutor()
    : mainQueue(std::make_unique<MainQueue>()) {}

// Out of line, where MainQueue is complete. Its pending wake-ups go with it.
QtExecutor::~QtExecutor() = default;

void QtExecutor::runInBackground(std::function<void()> work) {
    // A detached thread: the process may end while a tool still runs, and nothing must wait
    // for it then. Background work is one restart at a time, so a thread per task is cheap.
    std::thread(std::move(work)).detach();
}

void QtExecutor::runOnMain(std::function<void()> work) {
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        work();
        return;
    }
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
    mainQueue->post([&] {
        work();
        // Notified under the lock: the waiter's mutex and condition live on its stack, and
        // it may return the moment it sees `done`.
        std::lock_guard lock(mutex);
        done = true;
        ran.notify_one();
    });
    std::unique_lock lock(mutex);
    ran.wait(lock, [&] { return done; });
}

void QtExecutor::postToMain(std::function<void()> work) {
    mainQueue->post(std::move(work));
}

} // namespace corvane
