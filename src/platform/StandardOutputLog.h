#pragma once

#include "LogSink.h"

namespace corvane {

// Writes each line with one write(2) on standard output, bypassing stdio buffers.
class StandardOutputLog final : public LogSink {
public:
    void writeLine(const QString& line) override;
};

} // namespace corvane
