#include "SettingsDefaultsStore.h"
#include "SystemModelQuery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;

TEST(SettingsDefaultsStore, KeepsTypedValuesAcrossInstancesAndFailsQuietly) {
    QTemporaryDir folder;
    const QString file = folder.filePath("com.tamberlin.corvane.conf");
    const QDateTime time(QDate(2025, 3, 1), QTime(14, 5, 9, 321), Qt::UTC);
    SettingsDefaultsStore(file).setInteger("TouchBarRestartCount", 9007199254740993);
    SettingsDefaultsStore(file).setDate("LastTouchBarRestart", time);

    const SettingsDefaultsStore reopened(file);
    EXPECT_EQ(reopened.integer("TouchBarRestartCount"), 9007199254740993);
    EXPECT_EQ(reopened.object("LastTouchBarRestart"), QVariant(time)) << "a date, not a text";

    QFile corrupt(folder.filePath("corrupt.conf"));
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("TouchBarRestartCount=seven\nLastTouchBarRestart=@Variant(\\0\\0\n[[[\n");
    corrupt.close();
    const SettingsDefaultsStore store(corrupt.fileName());
    EXPECT_EQ(store.integer("TouchBarRestartCount"), 0);
    EXPECT_NE(store.object("LastTouchBarRestart").typeId(), QMetaType::QDateTime);

    // A regular file where the folder should be stops even root from writing there.
    SettingsDefaultsStore(corrupt.fileName() + "/com.tamberlin.corvane.conf")
        .setInteger("TouchBarRestartCount", 3);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              (QStringList{"com.tamberlin.corvane.conf", "corrupt.conf"}));
}

TEST(SystemModelQuery, AnswersTheFirmwareProductNameWithTheSysctlContract) {
    QTemporaryDir folder;
    QFile file(folder.filePath("product_name"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MacBookPro15,2\n");
    file.close();
    SystemModelQuery query(file.fileName());

    std::size_t size = 0;
    ASSERT_EQ(query.query("hw.model", nullptr, size), 0);
    EXPECT_EQ(size, 15U);
    char buffer[15];
    ASSERT_EQ(query.query("hw.model", buffer, size), 0);
    EXPECT_STREQ(buffer, "MacBookPro15,2");
    size = 14;
    EXPECT_NE(query.query("hw.model", buffer, size), 0) << "no room for the zero byte";
    EXPECT_NE(query.query("hw.ncpu", nullptr, size), 0);
    EXPECT_NE(SystemModelQuery(folder.filePath("absent")).query("hw.model", nullptr, size), 0);
}
