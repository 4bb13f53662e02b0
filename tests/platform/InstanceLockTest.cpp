#include "platform/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;
using Status = InstanceLock::Status;

namespace {

long openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/dev/fd"), {});
}

} // namespace

// The lock outlives a copy that crashed no more than one that quit, and a copy that finds it
// held knows by whom.
TEST(InstanceLock, OneCopyHoldsItUntilItEndsHoweverItEnds) {
    QTemporaryDir scratch;
    const QStringList folders = {scratch.filePath("runtime")};
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        InstanceLock lock("corvane.lock", folders);
        const char locked = lock.lock() == Status::Locked ? 'y' : 'n';
        (void)!::write(ready[1], &locked, 1);
        ::pause();
        ::_exit(0);
    }
    char locked = 0;
    ASSERT_EQ(::read(ready[0], &locked, 1), 1);
    ASSERT_EQ(locked, 'y');

    InstanceLock lock("corvane.lock", folders);
    const long descriptors = openDescriptors();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(lock.lock(), Status::HeldElsewhere);
        EXPECT_EQ(lock.holder(), other);
    }
    EXPECT_EQ(openDescriptors(), descriptors) << "a look at a held lock kept a descriptor";
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    EXPECT_EQ(lock.lock(), Status::Locked);
    EXPECT_EQ(lock.lock(), Status::Locked);
    struct stat folder = {};
    ASSERT_EQ(::stat(QFile::encodeName(folders.front()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    ::close(ready[0]);
    ::close(ready[1]);
}

// Only a private folder of the user's will do, and no link planted there is ever followed:
// another user could otherwise hold the lock in the user's place, or have the file written
// wherever the link points.
TEST(InstanceLock, LocksOnlyWhereNobodyElseCouldHaveBeen) {
    QTemporaryDir scratch;
    const auto path = [&](const char* name) {
        return scratch.filePath(name);
    };
    QDir().mkdir(path("foreign"));
    ASSERT_EQ(::chown(QFile::encodeName(path("foreign")).constData(), 65534, 65534), 0);
    QDir().mkdir(path("shared"));
    ::chmod(QFile::encodeName(path("shared")).constData(), 0777);
    QFile(path("file")).open(QIODevice::WriteOnly);
    QFile victim(path("victim"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly) && victim.write("keep") == 4);
    victim.close();
    QDir().mkdir(path("linked"));
    ::chmod(QFile::encodeName(path("linked")).constData(), 0700);
    QFile::link(path("victim"), path("linked") + "/corvane.lock");
    QFile::link(path("linked"), path("link"));

    const QStringList unusable = {path("foreign"), path("shared"), path("file"),
                                  path("linked"),  path("link"),   ""};
    InstanceLock nowhere("corvane.lock", unusable);
    EXPECT_EQ(nowhere.lock(), Status::Unavailable);
    for (const QString& folder : unusable)
        EXPECT_TRUE(nowhere.problem().contains(folder + "/corvane.lock: ")) << folder.toStdString();
    ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
    EXPECT_EQ(victim.readAll(), "keep");

    InstanceLock fallback("corvane.lock", unusable + QStringList{path("private")});
    EXPECT_EQ(fallback.lock(), Status::Locked);
}
