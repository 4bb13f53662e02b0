#include "PosixToolRunner.h"
#include "StandardOutputLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace corvane;

namespace {

const QString shell = QStringLiteral("/bin/sh");

ToolOutcome runScript(const QString& script, const QStringList& arguments = {})
{
    PosixToolRunner runner;
    return runner.run(shell, QStringList{"-c", script, "sh"} + arguments,
                      ToolRunner::StandardError::Captured);
}

} // namespace

TEST(PosixToolRunner, ReportsExitStatusesAndCapturesErrorOutputExactly)
{
    for (const int status : {0, 1, 2, 255}) {
        const ToolOutcome outcome = runScript(QStringLiteral("exit %1").arg(status));
        ASSERT_TRUE(outcome.launched());
        EXPECT_EQ(outcome.exitStatus, status);
        EXPECT_TRUE(outcome.standardError.isEmpty());
    }
    const ToolOutcome message = runScript("printf 'pkill: no luck\\n' >&2; exit 2");
    EXPECT_EQ(message.exitStatus, 2);
    EXPECT_EQ(message.standardError, QByteArray("pkill: no luck\n"));

    const ToolOutcome binary = runScript("printf '\\377\\376\\000x' >&2; exit 3");
    EXPECT_EQ(binary.standardError, QByteArray("\xff\xfe\0x", 4));
}

TEST(PosixToolRunner, DrainsMegabytesOfErrorOutputWithoutStalling)
{
    const ToolOutcome outcome = runScript("head -c 2097152 /dev/zero >&2; exit 4");
    EXPECT_EQ(outcome.exitStatus, 4);
    EXPECT_EQ(outcome.standardError.size(), 2097152);
}

TEST(PosixToolRunner, SignalDeathNeverLooksLikeSuccessOrNoMatch)
{
    EXPECT_EQ(runScript("kill -HUP $$").exitStatus, 128 + SIGHUP);
    EXPECT_EQ(runScript("kill -KILL $$").exitStatus, 128 + SIGKILL);
}

TEST(PosixToolRunner, PassesEachArgumentLiterallyWithoutAShell)
{
    QTemporaryDir scratch;
    const QString marker = scratch.filePath("pwned");
    const QString hostile = "two words 'quoted' \"double\"; touch " + marker + " $(touch " + marker +
                            ") `touch " + marker + "` * \n -x";
    const ToolOutcome outcome = runScript(R"(printf '%s|%s' "$1" "$#" >&2)", {hostile});
    EXPECT_EQ(QString::fromUtf8(outcome.standardError), hostile + "|1");
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(PosixToolRunner, MissingToolIsALaunchErrorWithBothTexts)
{
    PosixToolRunner runner;
    const ToolOutcome outcome =
        runner.run("/usr/bin/corvane-no-such-tool", {"x"}, ToolRunner::StandardError::Captured);
    ASSERT_FALSE(outcome.launched());
    EXPECT_EQ(outcome.launchError->localizedDescription, "No such file or directory");
    EXPECT_EQ(outcome.launchError->fullText,
              "Error Domain=NSPOSIXErrorDomain Code=2 \"No such file or directory\" "
              "UserInfo={NSFilePath=/usr/bin/corvane-no-such-tool}");
}

TEST(PosixToolRunner, ToolOutputAndLogLinesShareStandardOutputInOrder)
{
    int capture[2];
    ASSERT_EQ(::pipe(capture), 0);
    const int savedOutput = ::dup(STDOUT_FILENO);
    ::dup2(capture[1], STDOUT_FILENO);
    ::close(capture[1]);

    StandardOutputLog log;
    PosixToolRunner runner;
    log.writeLine("🔍 before");
    runner.run("/bin/echo", {"from the tool"}, ToolRunner::StandardError::Inherited);
    log.writeLine("   after");

    ::dup2(savedOutput, STDOUT_FILENO);
    ::close(savedOutput);
    QFile reader;
    ASSERT_TRUE(reader.open(capture[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_EQ(QString::fromUtf8(reader.readAll()), "🔍 before\nfrom the tool\n   after\n");
}
