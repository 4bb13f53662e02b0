#include "platform/Administrator.h"
#include "platform/ModelQuery.h"
#include "platform/Services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

QString fileWith(const QTemporaryDir& folder, const char* name, const QByteArray& contents) {
    QFile file(folder.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(contents);
    return file.fileName();
}

// What the model query answers, as one text: the model, or "error".
QString modelFrom(const QString& productName, const QString& deviceTree) {
    SystemModelQuery query(productName, deviceTree);
    std::size_t size = 0;
    if (query.query("hw.model", nullptr, size) != 0)
        return "error";
    QByteArray buffer(static_cast<qsizetype>(size), 'x');
    if (query.query("hw.model", buffer.data(), size) != 0 || size != std::size_t(buffer.size()))
        return "error";
    return buffer.endsWith('\0') ? QString::fromUtf8(buffer.chopped(1)) : "unterminated";
}

} // namespace

TEST(SystemModelQuery, TheFirmwaresProductNameElseTheDeviceTreesBoard) {
    QTemporaryDir folder;
    const QString absent = folder.filePath("absent");
    const QString m1 = fileWith(folder, "m1", QByteArray("apple,j293\0apple,t8103\0", 23));
    EXPECT_EQ(modelFrom(fileWith(folder, "dmi", "MacBookPro15,2\n"), m1), "MacBookPro15,2");
    EXPECT_EQ(modelFrom(fileWith(folder, "blank", "\n"), m1), "MacBookPro17,1");
    EXPECT_EQ(modelFrom(absent, m1), "MacBookPro17,1");
    EXPECT_EQ(modelFrom(absent, fileWith(folder, "m2", QByteArray("apple,j493\0apple,t8112", 22))),
              "Mac14,7");
    EXPECT_EQ(modelFrom(absent, fileWith(folder, "air", QByteArray("apple,j313\0", 11))),
              "apple,j313");
    EXPECT_EQ(modelFrom(absent, fileWith(folder, "zeros", QByteArray(64, '\0'))), "error");
    EXPECT_EQ(modelFrom(absent, absent), "error");
    std::size_t size = 15;
    char small[14];
    EXPECT_NE(SystemModelQuery(fileWith(folder, "dmi2", "MacBookPro15,2"), absent)
                  .query("hw.model", small, size = sizeof small),
              0)
        << "no room for the zero byte";
    EXPECT_NE(SystemModelQuery(m1, m1).query("hw.ncpu", nullptr, size), 0);
}

TEST(Administrator, EachPromptRunsAFixedCommandForAnAllowListedName) {
    using namespace administrator;
    const Command mac = terminateCommand(Prompt::Osascript, "TouchBarServer");
    EXPECT_EQ(QStringList{mac.program} + mac.arguments,
              (QStringList{"/usr/bin/osascript", "-e",
                           "do shell script \"/usr/bin/pkill -x TouchBarServer\" with "
                           "administrator privileges"}));
    for (const QString name : {"NowPlayingTouchUI", "ControlStrip", "TouchBarAgent",
                               "TouchBarUserDevice", "DFRFoundation"}) {
        EXPECT_TRUE(terminateCommand(Prompt::Osascript, name)
                        .arguments.value(1)
                        .contains("\"/usr/bin/pkill -x " + name + "\""));
        EXPECT_EQ(terminateCommand(Prompt::Pkexec, name).arguments,
                  (QStringList{"/usr/bin/pkill", "-x", name}));
    }
    for (const Prompt prompt : {Prompt::Osascript, Prompt::Pkexec})
        for (const QString name : {"Finder", "TouchBarServer\"; rm -rf ~; \"", "touchbarserver"})
            EXPECT_TRUE(terminateCommand(prompt, name).program.isEmpty());
    const Command daemon = restartCommand("tiny-dfr.service");
    EXPECT_EQ(
        QStringList{daemon.program} + daemon.arguments,
        (QStringList{"/usr/bin/pkexec", "/usr/bin/systemctl", "restart", "tiny-dfr.service"}));

    ToolOutcome cancelled;
    cancelled.exitStatus = 1;
    cancelled.standardError = "0:95: execution error: User canceled. (-128)\n";
    EXPECT_TRUE(declined(Prompt::Osascript, cancelled));
    cancelled.standardError = "execution error: The command exited with a non-zero status. (1)";
    EXPECT_FALSE(declined(Prompt::Osascript, cancelled));
    for (const int status : {126, 127, 1, 0}) {
        ToolOutcome pkexec;
        pkexec.exitStatus = status;
        EXPECT_EQ(declined(Prompt::Pkexec, pkexec), status >= 126) << status;
    }
}

TEST(Services, KeepNothingOutsideAHomeFolderAndFindTheTouchBarDaemon) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const std::pair<QByteArray, QString> homes[] = {
        {home.path().toUtf8(), home.filePath(".config/com.tamberlin.corvane.conf")},
        {"", ""},
        {"/", ""},
        {"relative", ""}};
    for (const auto& [variable, file] : homes) {
        qputenv("HOME", variable);
        const std::unique_ptr<QSettings> settings = openSettings();
        EXPECT_EQ(settings ? settings->fileName() : "", file) << variable.toStdString();
        EXPECT_EQ(instanceLockFolders().filter(".cache").size(), file.isEmpty() ? 0 : 1);
    }
    qputenv("HOME", savedHome);

    QTemporaryDir root;
    EXPECT_FALSE(touchBarDaemonInstalled(root.path()));
    for (const char* path : {"usr/bin/tiny-dfr", "lib/systemd/system/tiny-dfr.service"}) {
        QTemporaryDir installed;
        QDir(installed.path()).mkpath(QFileInfo(path).path());
        fileWith(installed, path, "");
        EXPECT_TRUE(touchBarDaemonInstalled(installed.path())) << path;
    }
}
