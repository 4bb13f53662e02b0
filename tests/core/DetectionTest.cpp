#include "Fakes.h"
#include "TouchBarManager.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

QString truth(bool value) {
    return value ? "true" : "false";
}

} // namespace

TEST(Detection, FullDetectionTruthTable) {
    for (int bits = 0; bits < 8; ++bits) {
        const bool listed = bits & 4, server = bits & 2, strip = bits & 1;
        SCOPED_TRACE(::testing::Message()
                     << "listed " << listed << " server " << server << " strip " << strip);
        FakePlatform platform;
        const QString model = listed ? "MacBookPro16,2" : "MacBookAir10,1";
        platform.modelQuery = FakeModelQuery::answering(model.toUtf8());
        FakeSystem system;
        system.running = {server ? "TouchBarServer" : "Finder", strip ? "ControlStrip" : "Dock"};
        platform.tools.setScript(system.script());
        const auto manager = std::make_shared<TouchBarManager>(platform.services());
        platform.log.clear();

        manager->performFullTouchBarDetection();

        const bool found = server || strip;
        EXPECT_EQ(manager->hasTouchBar(), listed || found);
        EXPECT_EQ(platform.log.lines(),
                  (QStringList{"🔍 Full Touch Bar Detection:", "   Model: " + model,
                               "   Model in list: " + truth(listed),
                               "   TouchBar processes found: " + truth(found),
                               "   Final detection: " + truth(listed || found)}));
        EXPECT_EQ(platform.tools.commandLines(),
                  QStringList{"/usr/bin/pgrep -x TouchBarServer"} +
                      (server ? QStringList() : QStringList{"/usr/bin/pgrep -x ControlStrip"}));
    }
}
