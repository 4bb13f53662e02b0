#include "HardwareModel.h"
#include "Fakes.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

TEST(HardwareModel, ReadsOneTo1023BytesUpToTheFirstZeroByteAndRefusesTheRest) {
    const QString refused = "🔒 Security: Invalid sysctl result or size: ";
    // The size query's result and size, the read's result and bytes; the model and log line.
    const std::tuple<int, std::size_t, int, QByteArray, QString, QString> cases[] = {
        {0, 0, 0, "", "Unknown", refused + "0, 0"},
        {0, 1024, 0, QByteArray(1024, 'M'), "Unknown", refused + "0, 1024"},
        {-1, 16, 0, "MacBookPro15,2", "Unknown", refused + "-1, 16"},
        {0, 16, 12, "MacBookPro15,2", "Unknown", "🔒 Security: Failed to read sysctl: 12"},
        {0, 1, 0, QByteArray(1, '\0'), "", {}},
        {0, 1023, 0, QByteArray(1023, 'M'), QString(1023, 'M'), {}},
        {0, 14, 0, "MacBookPro15,2XYZ", "MacBookPro15,2", {}},
        {0, 19, 0, QByteArray("MacBookPro15,2\0junk", 19), "MacBookPro15,2", {}},
        {0,
         9,
         0,
         "Mac\xff"
         "Book",
         QStringLiteral("Mac\uFFFDBook"),
         {}},
    };
    for (const auto& [sizeResult, size, readResult, bytes, model, line] : cases) {
        FakeModelQuery query;
        query.sizeResult = sizeResult;
        query.reportedSize = size;
        query.readResult = readResult;
        query.bytes = bytes;
        RecordingLog log;
        EXPECT_EQ(getModelIdentifier(query, log), model) << bytes.left(20).toStdString();
        EXPECT_EQ(log.lines(), line.isEmpty() ? QStringList() : QStringList{line});
    }
}

TEST(HardwareModel, MatchesTheFifteenModelsExactlyOnceTrimmedOfUnicodeBlanks) {
    EXPECT_EQ(trimModel("\u00a0\u2003\t\u2028MacBookPro17,1\u0085\u2029\r\v\f\u3000 "),
              "MacBookPro17,1");
    EXPECT_EQ(trimModel(" Mac Book\u00a0Pro\n"), "Mac Book\u00a0Pro");
    const QStringList models = {
        "MacBookPro13,2", "MacBookPro13,3", "MacBookPro14,2", "MacBookPro14,3", "MacBookPro15,1",
        "MacBookPro15,2", "MacBookPro15,3", "MacBookPro15,4", "MacBookPro16,1", "MacBookPro16,2",
        "MacBookPro16,3", "MacBookPro16,4", "MacBookPro17,1", "MacBookPro18,3", "MacBookPro18,4"};
    QStringList listed;
    for (int generation = 10; generation <= 20; ++generation) {
        for (int variant = 1; variant <= 5; ++variant) {
            const QString model = QStringLiteral("MacBookPro%1,%2").arg(generation).arg(variant);
            if (isTouchBarModel(model))
                listed << model;
        }
    }
    EXPECT_EQ(listed, models);
    for (const QString other :
         {"macbookpro17,1", "MacBookPro17,1 ", "\u200bMacBookPro17,1", "Unknown"})
        EXPECT_FALSE(isTouchBarModel(other)) << other.toStdString();
}
