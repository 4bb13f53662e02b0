#include "Fakes.h"

namespace corvane::fakes {

ScriptedToolRunner::Script FakeSystem::script() {
    return [this](const ScriptedToolRunner::Call& call) -> ToolOutcome {
        if (missingTools.contains(call.program))
            return notLaunched();
        const QString subject = call.arguments.value(call.arguments.size() - 1);
        if (call.program == "/usr/bin/pgrep")
            return exited(running.contains(subject) ? 0 : 1);
        if (call.program == "/usr/bin/pkill") {
            if (auto failure = killFailures.find(subject); failure != killFailures.end())
                return failure->second;
            if (running.removeAll(subject) == 0)
                return exited(1);
            if (relaunched.contains(subject))
                running << subject;
            return exited(0);
        }
        if (call.program == "/usr/bin/defaults")
            return exited(domains.removeAll(subject) > 0 ? 0 : 1);
        if (call.program == "/usr/bin/killall")
            return exited(running.removeAll(subject) > 0 ? 0 : 1);
        return notLaunched();
    };
}

} // namespace corvane::fakes
