#include "Fakes.h"
#include "HardwareModel.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

TEST(HardwareModel, RefusesAnswersOutsideOneTo1023BytesAndFailedReads)
{
    const struct {
        const char* name;
        int sizeResult;
        std::size_t size;
        int readResult;
        QString line;
    } cases[] = {
        {"size 0", 0, 0, 0, "🔒 Security: Invalid sysctl result or size: 0, 0"},
        {"size 1024", 0, 1024, 0, "🔒 Security: Invalid sysctl result or size: 0, 1024"},
        {"size query fails", -1, 16, 0, "🔒 Security: Invalid sysctl result or size: -1, 16"},
        {"read fails", 0, 16, 12, "🔒 Security: Failed to read sysctl: 12"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeModelQuery query = FakeModelQuery::answering("MacBookPro15,1");
        query.sizeResult = testCase.sizeResult;
        query.reportedSize = testCase.size;
        query.readResult = testCase.readResult;
        RecordingLog log;
        EXPECT_EQ(getModelIdentifier(query, log), "Unknown");
        EXPECT_EQ(log.lines(), QStringList{testCase.line});
    }
}

TEST(HardwareModel, DecodesUpToTheFirstZeroByteWithinTheBuffer)
{
    const struct {
        const char* name;
        QByteArray bytes;
        std::size_t size;
        QString model;
    } cases[] = {
        {"size 1: just the zero byte", QByteArray(1, '\0'), 1, ""},
        {"size 1023 accepted", QByteArray(1022, 'M') + '\0', 1023, QString(1022, 'M')},
        {"no zero byte: whole buffer, nothing past it", "MacBookPro15,2XYZ", 14, "MacBookPro15,2"},
        {"stops at an inner zero", QByteArray("MacBookPro15,2\0junk", 19), 19, "MacBookPro15,2"},
        {"invalid UTF-8 becomes U+FFFD", "Mac\xff" "Book", 9, QStringLiteral("Mac\uFFFDBook")},
        {"not trimmed here", "MacBookPro15,2\n", 16, "MacBookPro15,2\n"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeModelQuery query;
        query.bytes = testCase.bytes;
        query.reportedSize = testCase.size;
        RecordingLog log;
        EXPECT_EQ(getModelIdentifier(query, log), testCase.model);
        EXPECT_TRUE(log.lines().isEmpty());
    }
}

TEST(HardwareModel, MatchesTheFifteenModelsExactlyAfterTrimmingUnicodeBlanks)
{
    EXPECT_TRUE(isTouchBarModel(trimModel(QStringLiteral("MacBookPro15,2\n"))));
    EXPECT_TRUE(isTouchBarModel(
        trimModel(QStringLiteral("\u00a0\u2003\t\u2028MacBookPro17,1\u0085\u2029\r\v\f\u3000 "))));
    EXPECT_EQ(trimModel(QStringLiteral(" Mac Book\u00a0Pro ")), QStringLiteral("Mac Book\u00a0Pro"));
    EXPECT_FALSE(isTouchBarModel(QStringLiteral("macbookpro17,1")));
    EXPECT_FALSE(isTouchBarModel(QStringLiteral("MacBookPro17,1 ")));
    EXPECT_FALSE(isTouchBarModel(QStringLiteral("\u200bMacBookPro17,1")));
    EXPECT_FALSE(isTouchBarModel(QStringLiteral("MacBookPro18,1")));
    EXPECT_FALSE(isTouchBarModel(QStringLiteral("Unknown")));
    int listed = 0;
    for (int generation = 10; generation <= 20; ++generation) {
        for (int variant = 1; variant <= 5; ++variant)
            listed += isTouchBarModel(QStringLiteral("MacBookPro%1,%2").arg(generation).arg(variant));
    }
    EXPECT_EQ(listed, 15);
}
