#include "QtExecutor.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace corvane {

// Work for the main thread waits in a queue of our own under a std::mutex, and a byte on a
// pipe wakes the main thread's event loop, which watches the pipe. A background thread so
// runs no Qt code at all to reach the main thread: every hand-over rests on a std::mutex and
// a pipe, which every tool (ThreadSanitizer included) can see, rather than on Qt's internal
// locking around its event queue.
class QtExecutor::MainQueue final {
public:
    MainQueue()
        : mainThread(std::this_thread::get_id()) {
        int ends[2];
#ifdef __APPLE__
        const bool opened = ::pipe(ends) == 0;
        if (opened) {
            for (int end : ends) {
                ::fcntl(end, F_SETFD, FD_CLOEXEC);
                ::fcntl(end, F_SETFL, O_NONBLOCK);
            }
        }
#else
        const bool opened = ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0;
#endif
        // Without a pipe nothing could ever reach the main thread from the background, and a
        // restart would hang with its spinner; a process that cannot open two descriptors
        // as it starts has nothing better to do.
        if (!opened)
            qFatal("Corvane: no pipe to wake the main thread: %s", std::strerror(errno));
        readEnd = ends[0];
        writeEnd = ends[1];
        notifier.emplace(readEnd, QSocketNotifier::Read);
        QObject::connect(&*notifier, &QSocketNotifier::activated, [this] { drain(); });
    }
    ~MainQueue() {
        notifier.reset();
        ::close(readEnd);
        ::close(writeEnd);
    }
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    bool onMainThread() const {
        return std::this_thread::get_id() == mainThread;
    }

    void post(std::function<void()> work) {
        bool wasEmpty = false;
        {
            std::lock_guard lock(mutex);
            wasEmpty = pending.empty();
            pending.push_back(std::move(work));
        }
        // A queue that already held work has a wake-up on its way.
        if (!wasEmpty)
            return;
        const char wakeUp = 1;
        while (::write(writeEnd, &wakeUp, 1) < 0 && errno == EINTR) {
        }
    }

private:
    void drain() {
        // Empty the pipe first: work posted from here on writes a new byte.
        char bytes[64];
        for (;;) {
            const ssize_t count = ::read(readEnd, bytes, sizeof bytes);
            if (count <= 0 && !(count < 0 && errno == EINTR))
                break;
        }
        std::deque<std::function<void()>> ready;
        {
            std::lock_guard lock(mutex);
            ready.swap(pending);
        }
        // Outside the lock: work may post more work.
        for (std::function<void()>& work : ready)
            work();
    }

    const std::thread::id mainThread;
    int readEnd = -1;
    int writeEnd = -1;
    std::optional<QSocketNotifier> notifier;
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
};

QtExecutor::QtExecutor()
    : mainQueue(std::make_unique<MainQueue>()) {}

// Out of line, where MainQueue is complete. Work still queued goes with it, unrun.
QtExecutor::~QtExecutor() = default;

void QtExecutor::runInBackground(std::function<void()> work) {
    // A detached thread: the process may end while a tool still runs, and nothing must wait
    // for it then. Background work is one restart at a time, so a thread per task is cheap.
    std::thread(std::move(work)).detach();
}

void QtExecutor::runOnMain(std::function<void()> work) {
    if (mainQueue->onMainThread()) {
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
