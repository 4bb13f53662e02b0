#include "PosixToolRunner.h"
#include "OutputCapture.h"
#include "StandardOutputLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

using namespace corvane;

TEST(PosixToolRunner, ReportsHowTheToolEndedAndEveryByteOfItsErrorOutput) {
    QTemporaryDir scratch;
    const QString marker = scratch.filePath("pwned");
    const QString hostile = "two words 'quoted' \"double\"; touch " + marker + " $(touch " +
                            marker + ") `touch " + marker + "` * \n -x";
    // Script, its arguments, exit status and error output.
    const std::tuple<QString, QStringList, int, QByteArray> cases[] = {
        {"printf 'pkill: no luck\\n' >&2; exit 255", {}, 255, "pkill: no luck\n"},
        {"printf '\\377\\376\\000x' >&2; exit 3", {}, 3, QByteArray("\xff\xfe\0x", 4)},
        // More than a pipe holds: read only once the tool has ended, it would never end.
        {"head -c 2097152 /dev/zero >&2; exit 4", {}, 4, QByteArray(2097152, '\0')},
        {"kill -KILL $$", {}, 128 + SIGKILL, {}},
        {R"(printf '%s|%s' "$1" "$#" >&2)", {hostile}, 0, (hostile + "|1").toUtf8()},
    };
    for (const auto& [script, arguments, status, standardError] : cases) {
        const ToolOutcome outcome =
            PosixToolRunner().run("/bin/sh", QStringList{"-c", script, "sh"} + arguments,
                                  ToolRunner::StandardError::Captured);
        EXPECT_EQ(outcome.exitStatus, status) << script.toStdString();
        EXPECT_EQ(outcome.standardError, standardError) << script.toStdString();
    }
    EXPECT_FALSE(QFile::exists(marker)) << "a shell ran the argument";
}

// A missing tool is a launch error with both texts; the output of a tool that ran lies between
// the log lines written around it.
TEST(PosixToolRunner, LaunchErrorsAndStandardOutputInOrder) {
    StandardOutputLog log;
    ToolOutcome missing;
    const QByteArray output = corvane::testing::outputOf([&] {
        log.writeLine("🔍 before");
        missing = PosixToolRunner().run("/usr/bin/corvane-no-such-tool", {"x"},
                                        ToolRunner::StandardError::Inherited);
        PosixToolRunner().run("/bin/echo", {"from the tool"}, ToolRunner::StandardError::Inherited);
        log.writeLine("   after");
    });
    EXPECT_EQ(QString::fromUtf8(output), "🔍 before\nfrom the tool\n   after\n");
    ASSERT_FALSE(missing.launched());
    EXPECT_EQ(missing.launchError->localizedDescription, "No such file or directory");
    EXPECT_EQ(missing.launchError->fullText,
              "Error Domain=NSPOSIXErrorDomain Code=2 \"No such file or directory\" "
              "UserInfo={NSFilePath=/usr/bin/corvane-no-such-tool}");
}
