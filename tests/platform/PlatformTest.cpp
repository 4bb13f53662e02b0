#include "platform/InstanceLock.h"
#include "platform/Log.h"
#include "platform/Services.h"

#include <QByteArrayList>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace corvane;
using namespace std::chrono_literals;
using Status = InstanceLock::Status;

namespace {

long openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/dev/fd"), {});
}

QString fileWith(const QTemporaryDir& folder, const char* name, const QByteArray& contents) {
    QFile file(folder.filePath(name));
    QDir().mkpath(QFileInfo(file).path());
    file.open(QIODevice::WriteOnly);
    file.write(contents);
    return file.fileName();
}

ToolOutcome shell(const QString& script, const QString& argument = {},
                  std::chrono::milliseconds limit = 10s) {
    return PosixToolRunner().run("/bin/sh", QStringList{"-c", script, "sh", argument}, limit);
}

} // namespace

TEST(PosixToolRunner, ReportsHowTheToolEndedAndEveryByteItWrote) {
    // Script; exit status, standard output and error.
    const std::tuple<QString, int, QByteArray, QByteArray> cases[] = {
        {"printf 'pkill: no luck\\n' >&2; exit 255", 255, "", "pkill: no luck\n"},
        {"printf '\\377\\376\\000x' >&2; printf 4; exit 3", 3, "4", {"\xff\xfe\0x", 4}},
        // More than a pipe holds, on both: read only once the tool has ended, it never would.
        {"head -c 1048576 /dev/zero; head -c 1048576 /dev/zero >&2; exit 4", 4,
         QByteArray(1048576, '\0'), QByteArray(1048576, '\0')},
        // The same answer in every user's language, and no other program than the system's.
        {R"(echo "$LC_ALL|$LANGUAGE|$PATH|$HOME")", 0, "C||/usr/sbin:/usr/bin:/sbin:/bin|\n", ""},
        {"kill -KILL $$", 128 + SIGKILL, "", ""},
        // Nothing to read, and every signal at its default, unblocked, whatever our thread did.
        {"cat", 0, "", ""},
#ifdef __linux__
        {"grep -E '^Sig(Blk|Ign)' /proc/self/status | cut -c 18-", 0, "0000000\n0000000\n", ""},
        // A session and process group of its own, without a terminal to prompt on.
        {R"(cut -d' ' -f5-7 /proc/$$/stat | grep -qx "$$ $$ 0")", 0, "", ""},
#endif
    };
    sigset_t blocked;
    sigfillset(&blocked);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    qputenv("LANGUAGE", "de");
    qputenv("LC_ALL", "de_DE.UTF-8");
    for (const auto& [script, status, output, errors] : cases) {
        const ToolOutcome outcome = shell(script);
        EXPECT_TRUE(outcome.exitedWith(status)) << script.toStdString();
        EXPECT_EQ(outcome.standardOutput, output) << script.toStdString();
        EXPECT_EQ(outcome.standardError, errors) << script.toStdString();
    }
    pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_DFL);
    qunsetenv("LANGUAGE");
    qunsetenv("LC_ALL");

    QTemporaryDir scratch;
    const QString marker = scratch.filePath("pwned");
    const QString hostile = "two words 'quoted' \"double\"; touch " + marker + " $(touch " +
                            marker + ") `touch " + marker + "` * \n -x";
    EXPECT_EQ(shell(R"(printf '%s|%s' "$1" "$#")", hostile).standardOutput, hostile + "|1");
    EXPECT_FALSE(QFile::exists(marker)) << "a shell ran the argument";
}

// A hung tool is stopped at its limit with all it started, though it closed its outputs or
// prints without end; one whose child holds its pipes has ended all the same; one the system
// reaped is no exit status; and a thousand runs keep no descriptor and no child.
TEST(PosixToolRunner, StopsAHungToolAndLeavesNothingBehind) {
    const ToolOutcome missing = PosixToolRunner().run("/usr/bin/corvane-no-such-tool", {}, 1s);
    ASSERT_FALSE(missing.launched());
    EXPECT_EQ(missing.launchError->fullText,
              "Error Domain=NSPOSIXErrorDomain Code=2 \"No such file or directory\" "
              "UserInfo={NSFilePath=/usr/bin/corvane-no-such-tool}");
    // Script; what it printed, of which a MiB is kept; whether it outlived its limit.
    const std::tuple<QString, QByteArray, bool> cases[] = {
        {"printf started; exec sleep 60 >&- 2>&-", "started", true},
        {"exec yes", QByteArray("y\n").repeated(1 << 19), true},
        {"sleep 60 & exit 7", "", false},
    };
    for (const auto& [script, output, hung] : cases) {
        QElapsedTimer timer;
        timer.start();
        const ToolOutcome outcome = shell(script, {}, 300ms);
        EXPECT_TRUE(outcome.standardOutput == output && outcome.timedOut == hung &&
                    outcome.exitedWith(7) == !hung && !outcome.stillRunning &&
                    (outcome.standardOutputCut > 0) == script.contains("yes"))
            << script.toStdString();
        EXPECT_LT(timer.elapsed(), 1000) << script.toStdString();
    }
    const ToolOutcome group = shell("sleep 60 & echo $!; exec sleep 60", {}, 300ms);
    EXPECT_TRUE(shell("for i in $(seq 100); do ps -o stat= -p $1 | grep -qv Z || exit 0; "
                      "sleep 0.01; done; exit 1",
                      group.standardOutput.trimmed())
                    .exitedWith(0))
        << "what the tool started outlived it";
    std::signal(SIGCHLD, SIG_IGN);
    const ToolOutcome reaped = shell("exit 3");
    std::signal(SIGCHLD, SIG_DFL);
    EXPECT_EQ(reaped.launched() ? "" : reaped.launchError->localizedDescription,
              "The tool's end could not be waited for: No child processes");
    // A tool that became root, as pkexec's command does, cannot be stopped: it reads as still
    // running, and nothing waits for it. A user runs it through a setuid-root setpriv.
    if (::geteuid() == 0) {
        QTemporaryDir scratch;
        const QByteArray root = QFile::encodeName(scratch.filePath("setpriv"));
        QFile::copy("/usr/bin/setpriv", root);
        ::chmod(QFile::encodeName(scratch.path()).constData(), 0755);
        ::chmod(root.constData(), 04755);
        QElapsedTimer timer;
        timer.start();
        const pid_t user = ::fork();
        if (user == 0 && ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 &&
            ::setuid(65534) == 0)
            ::_exit(PosixToolRunner().run(root, {"--reuid=0", "sleep", "3"}, 300ms).stillRunning);
        if (user == 0)
            ::_exit(0);
        int status = -1;
        ::waitpid(user, &status, 0);
        EXPECT_TRUE(WEXITSTATUS(status) == 1 && timer.elapsed() < 2000)
            << "a root tool held up the runner, or read as stopped";
    }

    const long before = openDescriptors();
    for (int run = 0; run < 1000; ++run)
        ASSERT_NE(PosixToolRunner().run(run % 2 ? "/bin/echo" : "/no/tool", {}, 5s).launched(),
                  run % 2 == 0);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a tool was never reaped";
}

// A stalled reader costs lines, counted once it drains, never the caller; lines stay whole and in
// order, even written a part at a time; a reader that has gone, or a closed descriptor, is let go.
TEST(Log, AStalledOrVanishedReaderCostsLinesNeverTheCaller) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    for (const int end : ends)
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    // A reader that is behind already: the pipe is all but full.
    const QByteArray behind = QByteArray(59999, '-') + '\n';
    ASSERT_EQ(::write(ends[1], behind.constData(), behind.size()), behind.size());
    QByteArray written;
    const auto drain = [&] {
        char bytes[65536];
        for (ssize_t count = 0; (count = ::read(ends[0], bytes, sizeof bytes)) > 0;)
            written.append(bytes, count);
    };
    const QString line(9999, 'x');
    Log log(ends[1]);
    const auto start = std::chrono::steady_clock::now();
    for (int index = 0; index < 200; ++index)
        log.writeLine(line);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the caller waited";
    EXPECT_FALSE(log.flush(50ms)) << "the reader has not drained";
    const auto drained = [&] {
        for (int look = 0; look < 500 && !log.flush(10ms); ++look)
            drain();
        drain();
    };
    drained();
    log.writeLine("after");
    drained();
    // A tool's long answer, larger than the whole queue, reaches a reader that keeps up.
    const QByteArray answer(70000, 'a');
    log.write(answer + '\n');
    drained();
    const QList<QByteArray> lines = written.split('\n');
    const qsizetype kept = lines.count(line.toUtf8());
    EXPECT_GE(kept, 6);
    const QString dropped = QStringLiteral("⚠️ Output was not being read: %1 lines dropped");
    EXPECT_EQ(lines.mid(kept + 1),
              (QByteArrayList{dropped.arg(200 - kept).toUtf8(), "after", answer, ""}));

    // What is queued when a log goes still reaches the reader, and the log's thread goes too.
    const auto threads = [] {
        std::error_code none; // where there is no /proc, there are no threads to count
        return std::distance(std::filesystem::directory_iterator("/proc/self/task", none), {});
    };
    const long before = threads();
    for (int index = 0; index < 20; ++index)
        Log(ends[1]).writeLine(QString::number(index));
    drain();
    EXPECT_TRUE(written.endsWith("18\n19\n"));
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(threads(), before + 10) << "the logs' threads outlived them";

    ::close(ends[0]);
    std::signal(SIGPIPE, SIG_IGN);
    Log closed(999);
    for (Log* gone : {&log, &closed}) {
        for (const char* text : {"nobody reads this", "nor this"}) {
            gone->writeLine(text);
            EXPECT_TRUE(gone->flush(1s));
        }
    }
    std::signal(SIGPIPE, SIG_DFL);
    ::close(ends[1]);
}

// The lock goes with its copy however it ends; one that finds it held knows by whom.
TEST(InstanceLock, OneCopyHoldsItUntilItEndsHoweverItEnds) {
    QTemporaryDir scratch;
    const QStringList folders = {scratch.filePath("runtime")};
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        InstanceLock lock("corvane.lock", folders);
        (void)!::write(ready[1], lock.lock() == Status::Locked ? "y" : "n", 1);
        ::pause();
    }
    char locked = 0;
    ASSERT_TRUE(::read(ready[0], &locked, 1) == 1 && locked == 'y');

    InstanceLock lock("corvane.lock", folders);
    const long before = openDescriptors();
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_TRUE(lock.lock() == Status::HeldElsewhere && lock.holder() == other);
    EXPECT_EQ(openDescriptors(), before) << "a look at a held lock kept a descriptor";
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    EXPECT_TRUE(lock.lock() == Status::Locked && lock.lock() == Status::Locked);
    struct stat folder = {};
    ASSERT_EQ(::stat(QFile::encodeName(folders.front()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

// Only a private folder of the user's will do, and no link planted there is followed: another
// user could hold the lock in the user's place, or have the file written where the link points.
TEST(InstanceLock, LocksOnlyWhereNobodyElseCouldHaveBeen) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a folder of another user's";
    QTemporaryDir scratch;
    const auto path = [&](const char* name) {
        return scratch.filePath(name);
    };
    for (const auto& [name, mode, owner] :
         {std::tuple("foreign", 0700, 65534), std::tuple("shared", 0777, 0),
          std::tuple("linked", 0700, 0)}) {
        QDir().mkdir(path(name));
        ::chmod(QFile::encodeName(path(name)).constData(), mode);
        (void)!::chown(QFile::encodeName(path(name)).constData(), owner, owner);
    }
    fileWith(scratch, "file", {});
    ::mkfifo(QFile::encodeName(path("linked") + "/pipe.lock").constData(), 0600);
    QFile::link(fileWith(scratch, "victim", "keep"), path("linked") + "/corvane.lock");
    QFile::link(path("linked"), path("link"));

    const QStringList unusable = {path("foreign"), path("shared"), path("file"),
                                  path("linked"),  path("link"),   ""};
    InstanceLock nowhere("corvane.lock", unusable);
    EXPECT_EQ(nowhere.lock(), Status::Unavailable);
    const long before = openDescriptors();
    EXPECT_EQ(InstanceLock("pipe.lock", {path("linked")}).lock(), Status::Unavailable);
    EXPECT_EQ(openDescriptors(), before) << "a refused lock file was left open";
    for (const QString& where : unusable)
        EXPECT_TRUE(nowhere.problem().contains(where + "/corvane.lock: ")) << where.toStdString();
    EXPECT_TRUE(
        nowhere.problem().contains("linked/corvane.lock: Too many levels of symbolic links"));
    QFile victim(path("victim"));
    EXPECT_TRUE(victim.open(QIODevice::ReadOnly) && victim.readAll() == "keep");
    EXPECT_EQ(InstanceLock("corvane.lock", unusable + QStringList{path("private")}).lock(),
              Status::Locked);
}

#ifdef __linux__
TEST(SystemModelQuery, AnAppleBoardElseAnAppleFirmwaresProductName) {
    QTemporaryDir folder;
    const QString absent = folder.filePath("absent");
    const QString m1 = fileWith(folder, "m1", QByteArray("apple,j293\0apple,t8103\0", 23));
    // The model, or "error", also when a buffer without room for the final zero does not fail.
    const auto model = [](const QString& productName, const QString& deviceTree) -> QString {
        SystemModelQuery query(productName, deviceTree);
        std::size_t size = 0;
        QByteArray buffer(query.query("hw.model", nullptr, size) == 0 ? qsizetype(size) : 0, 'x');
        size -= 1;
        if (buffer.isEmpty() || query.query("hw.model", buffer.data(), size) == 0)
            return "error";
        size += 1;
        return query.query("hw.model", buffer.data(), size) == 0 ? buffer.chopped(1) : "error";
    };
    fileWith(folder, "sys_vendor", "Apple Inc.\n");
    fileWith(folder, "pc/sys_vendor", "LENOVO\n");
    EXPECT_EQ(model(fileWith(folder, "dmi", "MacBookPro15,2\n"), absent), "MacBookPro15,2");
    EXPECT_EQ(model(fileWith(folder, "pc/dmi", "MacBookPro15,2\n"), absent), "error");
    EXPECT_EQ(model(folder.filePath("dmi"), m1), "MacBookPro17,1");
    EXPECT_EQ(model(absent, fileWith(folder, "m2", QByteArray("apple,j493\0apple,t8112", 22))),
              "Mac14,7");
    EXPECT_EQ(model(absent, fileWith(folder, "air", QByteArray("apple,j313\0", 11))), "apple,j313");
    EXPECT_EQ(model(absent, fileWith(folder, "zeros", QByteArray(64, '\0'))), "error");
    EXPECT_EQ(model(absent, absent), "error");
    ::mkfifo(QFile::encodeName(folder.filePath("fifo")).constData(), 0600);
    EXPECT_EQ(model(folder.filePath("fifo"), absent), "error") << "a FIFO was read";
    std::size_t size = 0;
    EXPECT_NE(SystemModelQuery(m1, m1).query("hw.ncpu", nullptr, size), 0);
}

// The settings stay inside the home folder, whatever bytes name it, and are never a FIFO's; the
// lock's folders are the same whatever the environment says, so every copy finds the lock.
TEST(Services, KeepNothingOutsideAHomeFolderAndFindTheTouchBarDaemon) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    const QStringList lockFolders = instanceLockFolders();
    const QByteArray kept = QFile::encodeName(home.path());
    qunsetenv("XDG_CONFIG_HOME");
    // A name Qt cannot give back byte for byte would be a sibling's: it keeps no settings.
    for (const QByteArray& variable : QByteArrayList{kept, kept + "/h\xff", {}, "/", "relative"}) {
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
            qputenv(name, variable);
        const std::unique_ptr<QSettings> settings = openSettings();
        EXPECT_EQ(settings ? QFile::encodeName(settings->fileName()) : "",
                  variable == kept ? kept + "/.config/com.tamberlin.corvane.conf" : "")
            << variable.toStdString();
        EXPECT_EQ(instanceLockFolders(), lockFolders);
    }
    qputenv("XDG_CONFIG_HOME", kept);
    EXPECT_EQ(openSettings()->fileName(), home.filePath("com.tamberlin.corvane.conf"));
    ::mkfifo(kept + "/com.tamberlin.corvane.conf", 0600);
    const long before = openDescriptors();
    EXPECT_FALSE(openSettings()) << "a FIFO was taken for the settings";
    EXPECT_EQ(openDescriptors(), before) << "the FIFO was left open";
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", savedHome);
}
#endif
