#include "InstanceRegistry.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;

TEST(InstanceRegistry, ListsTheLiveCopiesOnlyAndSweepsTheFilesOfEndedOnes) {
    QTemporaryDir folder;
    // Foreign files, and a registration that nobody holds any more.
    for (const char* name : {"notes.txt", "12ab", "0042", "999999"}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("com.tamberlin.corvane");
    }
    const InstanceRegistry self("com.tamberlin.corvane", folder.path());
    // Another copy, which lives until it is killed (a minute at most).
    const pid_t other = ::fork();
    if (other == 0) {
        InstanceRegistry registry("com.example.other", folder.path());
        ::alarm(60);
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(other, 0);
    const QString otherFile = folder.filePath(QString::number(other));
    for (int tries = 0; tries < 5000 && !QFile::exists(otherFile); ++tries)
        ::usleep(1000);

    const auto listed = [&] {
        QSet<QString> entries;
        for (const RunningApplication& application : self.runningApplications())
            entries << QString::number(application.processIdentifier) + ' ' +
                           application.bundleIdentifier.value_or("-");
        return entries;
    };
    const QString own = QString::number(::getpid()) + " com.tamberlin.corvane";
    EXPECT_EQ(listed(), (QSet<QString>{own, QString::number(other) + " com.example.other"}));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    EXPECT_EQ(listed(), QSet<QString>{own});
    const QStringList left = QDir(folder.path()).entryList(QDir::Files);
    EXPECT_EQ(QSet<QString>(left.begin(), left.end()),
              (QSet<QString>{"notes.txt", "12ab", "0042", QString::number(::getpid())}));
}
