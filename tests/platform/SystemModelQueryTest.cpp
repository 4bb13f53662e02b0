#include "SystemModelQuery.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;

TEST(SystemModelQuery, AnswersTheFirmwareProductNameWithTheSysctlContract)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("product_name");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MacBookPro15,2\n");
    file.close();
    SystemModelQuery query(path);

    std::size_t size = 0;
    ASSERT_EQ(query.query("hw.model", nullptr, size), 0);
    EXPECT_EQ(size, 15U);
    char buffer[15];
    ASSERT_EQ(query.query("hw.model", buffer, size), 0);
    EXPECT_STREQ(buffer, "MacBookPro15,2");

    char small[4];
    size = sizeof small;
    EXPECT_NE(query.query("hw.model", small, size), 0);
    EXPECT_EQ(size, sizeof small);
    EXPECT_NE(query.query("hw.ncpu", nullptr, size), 0);
    SystemModelQuery missing(folder.filePath("absent"));
    EXPECT_NE(missing.query("hw.model", nullptr, size), 0);
}
