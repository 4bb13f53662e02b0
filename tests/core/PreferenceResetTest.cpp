#include "PreferenceReset.h"
#include "Fakes.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

TEST(PreferenceReset, LogsWhatWorkedAndAlwaysTriesTheDock) {
    const QString first = "🔧 Resetting Touch Bar preferences and cache...";
    const QString dockRestarted = "   ✅ Restarted Dock to refresh Touch Bar";
    const struct {
        const char* name;
        QStringList domains;
        QStringList running;
        QStringList missingTools;
        QStringList lines;
    } cases[] = {
        {"no domain exists", {}, {"Dock"}, {}, {first, dockRestarted}},
        {"only the control strip's domain exists",
         {"com.apple.controlstrip"},
         {"Dock"},
         {},
         {first, "   ✅ Cleared com.apple.controlstrip", dockRestarted}},
        {"every domain exists, no Dock runs so killall fails",
         {"com.apple.TouchBarAgent", "com.apple.touchbar.agent", "com.apple.controlstrip"},
         {},
         {},
         {first, "   ✅ Cleared com.apple.touchbar.agent", "   ✅ Cleared com.apple.controlstrip",
          "   ✅ Cleared com.apple.TouchBarAgent", dockRestarted}},
        {"defaults cannot be launched",
         {"com.apple.controlstrip"},
         {"Dock"},
         {"/usr/bin/defaults"},
         {first, dockRestarted}},
        {"killall cannot be launched: the error's full text, not its short description",
         {},
         {"Dock"},
         {"/usr/bin/killall"},
         {first,
          "   ⚠️ Could not restart Dock: Error Domain=NSPOSIXErrorDomain Code=2 \"No such "
          "file or directory\""}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeSystem system;
        system.domains = testCase.domains;
        system.running = testCase.running;
        system.missingTools = testCase.missingTools;
        ScriptedToolRunner tools(system.script());
        RecordingLog log;

        resetTouchBarPreferences(tools, log);

        EXPECT_EQ(log.lines(), testCase.lines);
        EXPECT_EQ(tools.commandLines(),
                  (QStringList{"/usr/bin/defaults delete com.apple.touchbar.agent",
                               "/usr/bin/defaults delete com.apple.controlstrip",
                               "/usr/bin/defaults delete com.apple.TouchBarAgent",
                               "/usr/bin/killall Dock"}));
        for (const ScriptedToolRunner::Call& call : tools.calls()) {
            EXPECT_EQ(call.arguments.size(), call.program.endsWith("killall") ? 1 : 2);
            EXPECT_EQ(call.standardError, ToolRunner::StandardError::Inherited);
        }
    }
}
