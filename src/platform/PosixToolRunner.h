#pragma once

#include "ToolRunner.h"

namespace corvane {

// Starts tools with posix_spawn: no shell, no PATH search, and the child starts with
// default signal dispositions and an empty signal mask whatever thread spawns it.
class PosixToolRunner final : public ToolRunner {
public:
    ToolOutcome run(const QString& program, const QStringList& arguments,
                    StandardError standardError) override;
};

} // namespace corvane
