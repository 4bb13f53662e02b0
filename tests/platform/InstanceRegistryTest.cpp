#include "InstanceRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;

namespace {

// Forks a copy of this test that registers itself and lives until `release` is closed.
// Copies forked later inherit `release` too, so release them in reverse order.
pid_t forkRegisteredCopy(const QString& directory, const QString& identifier, int& release)
{
    int ready[2];
    int go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        ::close(go[1]);
        InstanceRegistry registry(identifier, directory);
        char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(go[0], &byte, 1);
        ::_exit(0);
    }
    char byte = 0;
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ::close(go[0]);
    release = go[1];
    return child;
}

} // namespace

TEST(InstanceRegistry, ListsLiveCopiesAndForgetsOnesThatCrashed)
{
    QTemporaryDir folder;
    InstanceRegistry self("com.tamberlin.corvane", folder.path());
    int releaseOther = -1;
    int releaseCrashing = -1;
    const pid_t other = forkRegisteredCopy(folder.path(), "com.tamberlin.corvane", releaseOther);
    const pid_t crashing = forkRegisteredCopy(folder.path(), "com.example.other", releaseCrashing);
    ASSERT_GT(other, 0);
    ASSERT_GT(crashing, 0);

    auto listed = [&] {
        std::vector<std::pair<std::int32_t, QString>> result;
        for (const RunningApplication& application : self.runningApplications())
            result.emplace_back(application.processIdentifier, application.bundleIdentifier.value_or("-"));
        std::sort(result.begin(), result.end());
        return result;
    };
    std::vector<std::pair<std::int32_t, QString>> expected = {
        {self.currentProcessIdentifier(), "com.tamberlin.corvane"},
        {other, "com.tamberlin.corvane"},
        {crashing, "com.example.other"}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed(), expected);

    ::kill(crashing, SIGKILL);
    ::waitpid(crashing, nullptr, 0);
    std::erase_if(expected, [&](const auto& entry) { return entry.first == crashing; });
    EXPECT_EQ(listed(), expected);
    EXPECT_FALSE(QFile::exists(folder.filePath(QString::number(crashing))));

    ::close(releaseOther);
    ::close(releaseCrashing);
    ::waitpid(other, nullptr, 0);
    EXPECT_EQ(listed().size(), 1U);
}

TEST(InstanceRegistry, IgnoresForeignFilesAndUnlockedRegistrations)
{
    QTemporaryDir folder;
    for (const char* name : {"notes.txt", "12ab", "0042", "999999"}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("com.tamberlin.corvane");
    }
    const InstanceRegistry registry("com.tamberlin.corvane", folder.path());
    const auto applications = registry.runningApplications();
    ASSERT_EQ(applications.size(), 1U);
    EXPECT_EQ(applications.front().processIdentifier, ::getpid());
    EXPECT_FALSE(QFile::exists(folder.filePath("999999")));
}
