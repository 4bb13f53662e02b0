#pragma once

namespace corvane {

class Clock;
class DefaultsStore;
class Executor;
class LogSink;
class ModelQuery;
class Sleeper;
class ToolRunner;

// The operating-system operations the Touch Bar manager works through. The references must
// outlive every manager built on them.
struct PlatformServices {
    ToolRunner& tools;
    ModelQuery& modelQuery;
    DefaultsStore& defaults;
    Executor& executor;
    Clock& clock;
    Sleeper& sleeper;
    LogSink& log;
};

} // namespace corvane
