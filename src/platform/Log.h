#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

namespace corvane {

// Diagnostics on one of the standard streams. A thread of its own writes them, so a reader
// that stalls or has gone never holds up the caller: what it has not taken waits in a bounded
// queue, and once that is full new lines are dropped and counted, and a line saying how many
// takes their place once the reader drains. The piece being written does not count against
// the queue, so one larger than the whole queue is taken when nothing else waits. Lines keep
// their order and each is written whole.
class Log {
public:
    // Writes to `descriptor`, which must stay open as long as the log lives; it is not closed.
    // Throws std::system_error when the system gives it no thread.
    explicit Log(int descriptor);
    // Gives what is queued a moment to be written; what a stalled reader has not taken by then
    // is dropped.
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Queues `line` and a newline.
    void writeLine(const QString& line);
    // Queues `bytes` as they are, such as what a tool printed.
    void write(const QByteArray& bytes);
    // Waits up to `timeout` for everything queued so far to be written; false if it was not,
    // or if a write failed before other than for a reader that has gone (a full device, say).
    bool flush(std::chrono::milliseconds timeout);

private:
    class Writer;
    std::shared_ptr<Writer> writer;
};

} // namespace corvane
