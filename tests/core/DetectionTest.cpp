#include "core/Detection.h"
#include "Replay.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace corvane;
using namespace corvane::fakes;

class DetectionCase : public testing::TestWithParam<Row> {};

// cases/detection.txt: what sysctl answers to its two calls, the model read and the line logged.
TEST_P(DetectionCase, ReadsOneTo1023BytesUpToTheFirstZeroByteAndRefusesTheRest) {
    const QList<QByteArray>& row = GetParam().fields;
    const QList<QByteArray> results = row.at(0).split(' ');
    const QByteArray& bytes = row.at(1);
    const auto sysctl = [&](char* buffer, std::size_t& size) {
        if (buffer == nullptr) {
            size = results.at(1).toULong();
            return results.at(0).toInt();
        }
        size = std::min(size, static_cast<std::size_t>(bytes.size()));
        std::memcpy(buffer, bytes.constData(), size);
        return results.at(2).toInt();
    };
    CapturedLog log;
    EXPECT_EQ(modelFromSysctl(sysctl, log.log).value_or("Unknown"), QString::fromUtf8(row.at(2)));
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
    EXPECT_TRUE(initialTouchBarDetection(fakes.services(), appleServices()));
    EXPECT_FALSE(initialTouchBarDetection(fakes.services(), appleServicesWhereRunning()));
    EXPECT_TRUE(fakes.output.text().startsWith("🔍 Initial Touch Bar Detection (Model Only):\n   "
                                               "Model: MacBookPro13,3\n   Has Touch Bar: true\n"));
}

// The model, TouchBarServer or ControlStrip, or an installed tiny-dfr: any one is enough; away
// from macOS the services count only while one of them runs.
TEST(Detection, AModelATouchBarProcessOrTheDaemonIsEnough) {
    const Backend* backends[] = {&appleServices(), &touchBarDaemon(), &appleServicesWhereRunning()};
    for (int bits = 0; bits < 48; ++bits) {
        const bool listed = bits & 8, server = bits & 4, strip = bits & 2, daemon = bits & 1;
        const Backend& backend = *backends[bits / 16];
        const bool isDaemon = &backend == &touchBarDaemon();
        FakeServices fakes;
        fakes.modelQuery = FakeModelQuery(listed ? "MacBookPro16,2" : "MacBookAir10,1");
        fakes.system.start({server ? "TouchBarServer" : "Finder", strip ? "ControlStrip" : "Dock",
                            daemon ? "tiny-dfr" : "sshd"});
        const Services services = fakes.services();
        const bool found = isDaemon ? daemon : server || strip;
        const ToolSession tools(services);
        const bool touchBar =
            checkTouchBarAvailability(Processes(tools, backend), services, backend);
        EXPECT_EQ(touchBar, (listed && !backend.onlyWhileRunning) || found || isDaemon) << bits;
        EXPECT_TRUE(fakes.output.text().contains(
            QString("   TouchBar processes found: %1\n%2   Final detection: %3\n")
                .arg(found ? "true" : "false",
                     isDaemon ? "   Touch Bar daemon installed: true\n" : "",
                     touchBar ? "true" : "false")))
            << bits;
    }
}
