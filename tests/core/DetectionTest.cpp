#include "Fakes.h"
#include "TouchBarManager.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

TEST(Detection, FullDetectionTruthTable)
{
    for (const bool modelListed : {false, true}) {
        for (const bool serverRunning : {false, true}) {
            for (const bool stripRunning : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "listed " << modelListed << " server "
                                                << serverRunning << " strip " << stripRunning);
                FakePlatform platform;
                platform.modelQuery =
                    FakeModelQuery::answering(modelListed ? "MacBookPro16,2" : "MacBookAir10,1");
                FakeSystem system;
                if (serverRunning)
                    system.running << "TouchBarServer";
                if (stripRunning)
                    system.running << "ControlStrip";
                platform.tools.setScript(system.script());
                const auto manager = std::make_shared<TouchBarManager>(platform.services());
                platform.log.clear();

                manager->performFullTouchBarDetection();

                const bool found = serverRunning || stripRunning;
                const bool expected = modelListed || found;
                const QString model = modelListed ? "MacBookPro16,2" : "MacBookAir10,1";
                EXPECT_EQ(manager->hasTouchBar(), expected);
                auto truth = [](bool value) { return QString(value ? "true" : "false"); };
                EXPECT_EQ(platform.log.lines(),
                          (QStringList{"🔍 Full Touch Bar Detection:", "   Model: " + model,
                                       "   Model in list: " + truth(modelListed),
                                       "   TouchBar processes found: " + truth(found),
                                       "   Final detection: " + truth(expected)}));
                QStringList probes{"/usr/bin/pgrep -x TouchBarServer"};
                if (!serverRunning)
                    probes << "/usr/bin/pgrep -x ControlStrip";
                EXPECT_EQ(platform.tools.commandLines(), probes);
            }
        }
    }
}

TEST(Detection, ModelOnlyDetectionProbesNothingAndAFailedQueryMeansNoTouchBar)
{
    FakePlatform platform;
    platform.modelQuery.reportedSize = 0;
    const auto manager = std::make_shared<TouchBarManager>(platform.services());
    EXPECT_FALSE(manager->hasTouchBar());
    EXPECT_EQ(platform.log.lines(), (QStringList{"🔒 Security: Invalid sysctl result or size: 0, 0",
                                                 "🔍 Initial Touch Bar Detection (Model Only):",
                                                 "   Model: Unknown", "   Has Touch Bar: false"}));
    EXPECT_TRUE(platform.tools.calls().empty());

    FakePlatform padded;
    padded.modelQuery = FakeModelQuery::answering(" MacBookPro13,3\n");
    EXPECT_TRUE(std::make_shared<TouchBarManager>(padded.services())->hasTouchBar());
    EXPECT_EQ(padded.log.lines().at(1), "   Model: MacBookPro13,3");
}
