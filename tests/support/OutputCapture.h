#pragma once

#include <QByteArray>

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace corvane::testing {

// Everything written to descriptor 1, by this process or a tool it starts, while it lives;
// up to a pipe's capacity.
class OutputCapture {
public:
    OutputCapture() {
        EXPECT_EQ(::pipe(ends), 0);
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    }
    ~OutputCapture() {
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(ends[0]);
    }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // What was written since the last call.
    QByteArray written() {
        std::fflush(stdout);
        QByteArray bytes;
        char buffer[256];
        for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, count);
        return bytes;
    }

private:
    int ends[2] = {-1, -1};
    int saved = -1;
};

} // namespace corvane::testing
