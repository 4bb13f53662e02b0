#include "core/Detection.h"
#include "Replay.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

class DetectionCase : public testing::TestWithParam<Row> {};

// cases/detection.txt: what sysctl answers, the model read and the line logged.
TEST_P(DetectionCase, ReadsOneTo1023BytesUpToTheFirstZeroByteAndRefusesTheRest) {
    const QList<QByteArray>& row = GetParam().fields;
    const QList<QByteArray> results = row.at(0).split(' ');
    FakeModelQuery query;
    query.sizeResult = results.at(0).toInt();
    query.reportedSize = results.at(1).toULong();
    query.readResult = results.at(2).toInt();
    query.bytes = row.at(1);
    CapturedLog log;
    EXPECT_EQ(getModelIdentifier(query, log.log), QString::fromUtf8(row.at(2)));
    EXPECT_EQ(log.text(), row.at(3) == "-" ? "" : QString::fromUtf8(row.at(3)) + '\n');
}

INSTANTIATE_TEST_SUITE_P(Case, DetectionCase, testing::ValuesIn(rows({"detection"})),
                         testing::PrintToStringParamName());

// The fourteen models exactly, case and blanks included; the model read without its blanks.
TEST(Detection, KnowsTheFourteenModelsWithATouchBarExactly) {
    QStringList listed;
    for (const QString family : {"MacBookPro", "Mac"})
        for (int generation = 10; generation <= 20; ++generation)
            for (int variant = 1; variant <= 10; ++variant)
                if (isTouchBarModel(family + QString("%1,%2").arg(generation).arg(variant)))
                    listed << family + QString("%1,%2").arg(generation).arg(variant);
    EXPECT_EQ(listed.join(' '), "MacBookPro13,2 MacBookPro13,3 MacBookPro14,2 MacBookPro14,3 "
                                "MacBookPro15,1 MacBookPro15,2 MacBookPro15,3 MacBookPro15,4 "
                                "MacBookPro16,1 MacBookPro16,2 MacBookPro16,3 MacBookPro16,4 "
                                "MacBookPro17,1 Mac14,7");
    EXPECT_FALSE(isTouchBarModel("macbookpro17,1") || isTouchBarModel("MacBookPro17,1 "));
    FakeServices fakes;
    fakes.modelQuery = FakeModelQuery("\u00a0\t MacBookPro13,3\n\u2028");
    EXPECT_TRUE(initialTouchBarDetection(fakes.services()));
    EXPECT_EQ(fakes.output.text(), "🔍 Initial Touch Bar Detection (Model Only):\n   Model: "
                                   "MacBookPro13,3\n   Has Touch Bar: true\n");
}

// The model, TouchBarServer or ControlStrip, or an installed tiny-dfr: any one is enough.
TEST(Detection, AModelATouchBarProcessOrTheDaemonIsEnough) {
    for (int bits = 0; bits < 32; ++bits) {
        const bool listed = bits & 16, server = bits & 8, strip = bits & 4, daemon = bits & 2;
        const Backend& backend = bits & 1 ? touchBarDaemon() : appleServices();
        FakeServices fakes;
        fakes.modelQuery = FakeModelQuery(listed ? "MacBookPro16,2" : "MacBookAir10,1");
        fakes.system.start({server ? "TouchBarServer" : "Finder", strip ? "ControlStrip" : "Dock",
                            daemon ? "tiny-dfr" : "sshd"});
        const Services services = fakes.services();
        const bool found = bits & 1 ? daemon : server || strip;
        const bool touchBar =
            checkTouchBarAvailability(ProcessControl(services), services, backend);
        EXPECT_EQ(touchBar, listed || found || (bits & 1)) << bits;
        EXPECT_TRUE(fakes.output.text().contains(
            QString("   TouchBar processes found: %1\n%2   Final detection: %3\n")
                .arg(found ? "true" : "false",
                     bits & 1 ? "   Touch Bar daemon installed: true\n" : "",
                     touchBar ? "true" : "false")))
            << bits;
    }
}
