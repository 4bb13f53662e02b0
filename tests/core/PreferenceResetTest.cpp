#include "PreferenceReset.h"
#include "Fakes.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

TEST(PreferenceReset, LogsWhatWorkedAndAlwaysTriesTheDock) {
    const QString dock = "   ✅ Restarted Dock to refresh Touch Bar";
    const struct {
        const char* name;
        QStringList domains;
        QStringList running;
        QString missingTool;
        QStringList lines;
    } cases[] = {
        {"no domain exists", {}, {"Dock"}, {}, {dock}},
        {"one domain exists",
         {"com.apple.controlstrip"},
         {"Dock"},
         {},
         {"   ✅ Cleared com.apple.controlstrip", dock}},
        {"no Dock runs: killall fails", {}, {}, {}, {dock}},
        {"defaults cannot be launched",
         {"com.apple.controlstrip"},
         {"Dock"},
         "/usr/bin/defaults",
         {dock}},
        {"killall cannot be launched: the error's full text",
         {},
         {"Dock"},
         "/usr/bin/killall",
         {"   ⚠️ Could not restart Dock: Error Domain=NSPOSIXErrorDomain Code=2 \"No such file "
          "or directory\""}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeSystem system;
        system.domains = testCase.domains;
        system.running = testCase.running;
        system.missingTools = {testCase.missingTool};
        ScriptedToolRunner tools(system.script());
        RecordingLog log;

        resetTouchBarPreferences(tools, log);

        EXPECT_EQ(log.lines(),
                  QStringList{"🔧 Resetting Touch Bar preferences and cache..."} + testCase.lines);
        EXPECT_EQ(tools.commandLines(),
                  (QStringList{"/usr/bin/defaults delete com.apple.touchbar.agent",
                               "/usr/bin/defaults delete com.apple.controlstrip",
                               "/usr/bin/defaults delete com.apple.TouchBarAgent",
                               "/usr/bin/killall Dock"}));
    }
}
