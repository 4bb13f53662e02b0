#include "platform/Log.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace corvane {
namespace {

// About twenty restarts' worth of lines may wait for a slow reader.
constexpr qsizetype queueCapacity = qsizetype(64) * 1024;

// Writes all of `bytes`, resuming after interruptions and partial writes and waiting while a
// non-blocking descriptor is full; 0, or why the descriptor takes no more.
int writeAll(int descriptor, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.constData() + written,
                                      static_cast<std::size_t>(bytes.size() - written));
        if (count > 0) {
            written += count;
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd writable{descriptor, POLLOUT, 0};
            ::poll(&writable, 1, -1);
        } else if (count == 0 || errno != EINTR) {
            return count == 0 ? EIO : errno;
        }
    }
    return 0;
}

} // namespace

class Log::Writer {
public:
    explicit Writer(int descriptor)
        : descriptor(descriptor) {}

    void enqueue(const QByteArray& bytes) {
        std::lock_guard lock(mutex);
        if (closed || broken)
            return;
        // What waits behind the piece at the front, the one written now or next, is bounded;
        // so a piece larger than the whole queue, such as a tool's long answer, is taken when
        // nothing waits, and does not push out the lines after it while the reader keeps up.
        const qsizetype waiting = pending.empty() ? 0 : queuedBytes - pending.front().size();
        if (!pending.empty() && waiting + bytes.size() > queueCapacity) {
            dropped += std::max<qsizetype>(1, bytes.count('\n'));
            return;
        }
        if (dropped > 0) {
            push(QStringLiteral("⚠️ Output was not being read: %1 lines dropped\n")
                     .arg(dropped)
                     .toUtf8());
            dropped = 0;
        }
        push(bytes);
    }

    bool waitUntilWritten(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return drained.wait_for(lock, timeout, [this] { return pending.empty(); }) && !lost;
    }

    void close() {
        std::lock_guard lock(mutex);
        closed = true;
        work.notify_one();
    }

    // The writing thread: one piece at a time, in order, until the log is closed.
    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return !pending.empty() || closed; });
            if (closed)
                return;
            const QByteArray next = pending.front();
            lock.unlock();
            const int error = writeAll(descriptor, next);
            lock.lock();
            // A reader that has gone takes nothing more; what waits is let go. It took what it
            // wanted, as `head` does; a device that failed the write lost it.
            broken = error != 0;
            lost = broken && error != EPIPE;
            pending.pop_front();
            queuedBytes -= next.size();
            if (broken) {
                pending.clear();
                queuedBytes = 0;
            }
            if (pending.empty())
                drained.notify_all();
        }
    }

private:
    void push(const QByteArray& bytes) {
        pending.push_back(bytes);
        queuedBytes += bytes.size();
        work.notify_one();
    }

    const int descriptor;
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable drained;
    std::deque<QByteArray> pending; // the front one is being written
    qsizetype queuedBytes = 0;
    qsizetype dropped = 0;
    bool broken = false;
    bool lost = false;
    bool closed = false;
};

Log::Log(int descriptor)
    : writer(std::make_shared<Writer>(descriptor)) {
    // Detached, holding its own share of the queue: a reader that never drains may keep it in
    // a write for good, and nothing must wait for it then, not even the end of the process.
    std::thread([writer = writer] { writer->run(); }).detach();
}

Log::~Log() {
    flush(std::chrono::milliseconds(100));
    writer->close();
}

void Log::writeLine(const QString& line) {
    writer->enqueue(line.toUtf8() + '\n');
}

void Log::write(const QByteArray& bytes) {
    if (!bytes.isEmpty())
        writer->enqueue(bytes);
}

bool Log::flush(std::chrono::milliseconds timeout) {
    return writer->waitUntilWritten(timeout);
}

} // namespace corvane
