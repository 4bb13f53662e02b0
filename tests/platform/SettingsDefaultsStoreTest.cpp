#include "SettingsDefaultsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;

TEST(SettingsDefaultsStore, KeepsIntegersAndDatesTypedAcrossInstances) {
    QTemporaryDir folder;
    const QString file = folder.filePath("com.tamberlin.corvane.conf");
    const QDateTime time(QDate(2025, 3, 1), QTime(14, 5, 9, 321), Qt::UTC);
    {
        SettingsDefaultsStore store(file);
        store.setInteger("TouchBarRestartCount", 9007199254740993);
        store.setDate("LastTouchBarRestart", time);
    }
    const SettingsDefaultsStore reopened(file);
    EXPECT_EQ(reopened.integer("TouchBarRestartCount"), 9007199254740993);
    const QVariant date = reopened.object("LastTouchBarRestart");
    EXPECT_EQ(date.typeId(), QMetaType::QDateTime);
    EXPECT_EQ(date.toDateTime(), time);
    EXPECT_FALSE(reopened.object("Missing").isValid());
    EXPECT_EQ(reopened.integer("Missing"), 0);
}

TEST(SettingsDefaultsStore, CorruptOrWronglyTypedFileReadsAsAbsent) {
    QTemporaryDir folder;
    const QString file = folder.filePath("corrupt.conf");
    QFile corrupt(file);
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    // Sized from the array: the text starts with a zero byte, so strlen would stop there.
    static const char bytes[] =
        "\x00\xff[General\nTouchBarRestartCount=seven\nLastTouchBarRestart=@Variant(\\0\\0\n"
        "[[[\n=\n";
    corrupt.write(bytes, sizeof bytes - 1);
    corrupt.close();

    const SettingsDefaultsStore store(file);
    EXPECT_EQ(store.integer("TouchBarRestartCount"), 0);
    EXPECT_NE(store.object("LastTouchBarRestart").typeId(), QMetaType::QDateTime);
}

TEST(SettingsDefaultsStore, UnwritableLocationLosesTheWriteQuietly) {
    // A regular file where the folder should be stops even root from writing there.
    QTemporaryDir folder;
    const QString blocker = folder.filePath("config");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    SettingsDefaultsStore store(blocker + "/com.tamberlin.corvane.conf");
    store.setInteger("TouchBarRestartCount", 3);
    EXPECT_EQ(store.integer("TouchBarRestartCount"), 3);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"config"});
    EXPECT_EQ(QFileInfo(blocker).size(), 0);
}
