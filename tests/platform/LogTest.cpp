#include "platform/Log.h"

#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace corvane;
using namespace std::chrono_literals;

namespace {

QByteArray readAll(int descriptor) {
    QByteArray bytes;
    char chunk[65536];
    for (ssize_t count; (count = ::read(descriptor, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, count);
    return bytes;
}

} // namespace

// A reader that stalls costs lines, never the writer: what does not fit is dropped, counted,
// and said once the reader drains. What is written keeps its order and each line stays whole,
// also through a descriptor that takes a part of it at a time.
TEST(Log, AStalledReaderCostsLinesNeverTheCaller) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    for (const int end : ends)
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    // A reader that is behind already: the pipe is all but full.
    const QByteArray behind(60000, '-');
    ASSERT_EQ(::write(ends[1], behind.constData(), behind.size()), behind.size());
    const QString line = QString(9999, 'x');
    {
        Log log(ends[1]);
        const auto start = std::chrono::steady_clock::now();
        for (int index = 0; index < 200; ++index)
            log.writeLine(line);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the caller waited";
        EXPECT_FALSE(log.flush(50ms)) << "the reader has not drained";
        QByteArray written;
        while (!log.flush(10ms))
            written += readAll(ends[0]);
        log.writeLine("after");
        log.write("a tool's own words\n");
        ASSERT_TRUE(log.flush(1s));
        written += readAll(ends[0]);
        ASSERT_TRUE(written.startsWith(behind));
        written.remove(0, behind.size());
        const QList<QByteArray> lines = written.split('\n');
        const qsizetype kept = lines.count(line.toUtf8());
        EXPECT_GE(kept, 6);
        EXPECT_EQ(lines.mid(kept),
                  (QList<QByteArray>{QStringLiteral("⚠️ Output was not being read: %1 lines "
                                                    "dropped")
                                         .arg(200 - kept)
                                         .toUtf8(),
                                     "after", "a tool's own words", ""}));
    }
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(Log, AClosedOrVanishedReaderIsLetGo) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    std::signal(SIGPIPE, SIG_IGN);
    Log gone(ends[1]);
    Log closed(999);
    for (Log* log : {&gone, &closed}) {
        log->writeLine("nobody reads this");
        EXPECT_TRUE(log->flush(1s));
        log->writeLine("nor this");
        EXPECT_TRUE(log->flush(1s));
    }
    std::signal(SIGPIPE, SIG_DFL);
    ::close(ends[1]);
}
