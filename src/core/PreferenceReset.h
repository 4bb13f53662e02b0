#pragma once

namespace corvane {

class LogSink;
class ToolRunner;

// Deletes the Touch Bar services' three preference domains and restarts the Dock, so the
// relaunched services start clean. Best effort: logs what worked, never fails. Blocks while
// its four tools run, so it belongs on the background executor.
void resetTouchBarPreferences(ToolRunner& tools, LogSink& log);

} // namespace corvane
