#include "platform/ToolRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace corvane;
using namespace std::chrono_literals;

TEST(PosixToolRunner, ReportsHowTheToolEndedAndEveryByteItWrote) {
    QTemporaryDir scratch;
    const QString marker = scratch.filePath("pwned");
    const QString hostile = "two words 'quoted' \"double\"; touch " + marker + " $(touch " +
                            marker + ") `touch " + marker + "` * \n -x";
    // Script and its argument; exit status, standard output and error.
    const std::tuple<QString, QString, int, QByteArray, QByteArray> cases[] = {
        {"printf 'pkill: no luck\\n' >&2; exit 255", {}, 255, "", "pkill: no luck\n"},
        {"printf '\\377\\376\\000x' >&2; printf 42; exit 3", {}, 3, "42", {"\xff\xfe\0x", 4}},
        // More than a pipe holds, on both: read only once the tool has ended, it never would.
        {"head -c 2097152 /dev/zero; head -c 2097152 /dev/zero >&2; exit 4",
         {},
         4,
         QByteArray(2097152, '\0'),
         QByteArray(2097152, '\0')},
        {"kill -KILL $$", {}, 128 + SIGKILL, "", ""},
        // Nothing to read, and every signal at its default, unblocked, whatever our thread did.
        {"cat", {}, 0, "", ""},
#ifdef __linux__
        {R"(grep -E '^Sig(Blk|Ign)' /proc/self/status | cut -c 18-)",
         {},
         0,
         "0000000\n0000000\n",
         ""},
#endif
        {R"(printf '%s|%s' "$1" "$#")", hostile, 0, (hostile + "|1").toUtf8(), ""},
    };
    sigset_t blocked;
    sigfillset(&blocked);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    for (const auto& [script, argument, status, output, errors] : cases) {
        QStringList arguments = {"-c", script, "sh"};
        if (!argument.isEmpty())
            arguments << argument;
        const ToolOutcome outcome = PosixToolRunner().run("/bin/sh", arguments, 10s);
        EXPECT_TRUE(outcome.exitedWith(status)) << script.toStdString();
        EXPECT_EQ(outcome.standardOutput, output) << script.toStdString();
        EXPECT_EQ(outcome.standardError, errors) << script.toStdString();
    }
    pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_DFL);
    EXPECT_FALSE(QFile::exists(marker)) << "a shell ran the argument";
}

TEST(PosixToolRunner, AMissingToolIsALaunchErrorAndAHungOneIsStoppedAndReaped) {
    const ToolOutcome missing = PosixToolRunner().run("/usr/bin/corvane-no-such-tool", {}, 1s);
    ASSERT_FALSE(missing.launched());
    EXPECT_FALSE(missing.exitedWith(0));
    EXPECT_EQ(missing.launchError->localizedDescription, "No such file or directory");
    EXPECT_EQ(missing.launchError->fullText,
              "Error Domain=NSPOSIXErrorDomain Code=2 \"No such file or directory\" "
              "UserInfo={NSFilePath=/usr/bin/corvane-no-such-tool}");

    QElapsedTimer timer;
    timer.start();
    const ToolOutcome hung =
        PosixToolRunner().run("/bin/sh", {"-c", "printf started; exec sleep 60"}, 300ms);
    EXPECT_TRUE(hung.timedOut && !hung.exitedWith(0));
    EXPECT_EQ(hung.standardOutput, "started");
    // A tool that ended but left a child holding its pipes has ended all the same.
    const ToolOutcome left = PosixToolRunner().run("/bin/sh", {"-c", "sleep 60 & exit 7"}, 5s);
    EXPECT_TRUE(left.exitedWith(7));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "the stopped tool was not reaped";
}
