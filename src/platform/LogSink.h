#pragma once

#include <QString>

namespace corvane {

// Diagnostic lines on standard output. Each line is written whole in one go, so lines never
// interleave with each other or with what a tool prints, and none waits in a buffer.
class LogSink {
public:
    virtual ~LogSink() = default;

    // Writes `line` followed by a newline.
    virtual void writeLine(const QString& line) = 0;
};

} // namespace corvane
