#include "platform/Diagnostics.h"
#include "platform/History.h"
#include "platform/InstanceLock.h"
#include "platform/Log.h"
#include "platform/PlainFile.h"
#include "platform/Services.h"

#include <QTemporaryDir>
#include <QTemporaryFile>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using enum InstanceLock::Status;

namespace {

long openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/dev/fd"), {});
}

ToolOutcome shell(const QString& script, const QString& argument = {}) {
    return PosixToolRunner().run("/bin/sh", QStringList{"-c", script, "sh", argument}, 1s);
}

} // namespace

TEST(PosixToolRunner, ReportsHowTheToolEndedAndEveryByteItWroteAndLeavesNothingBehind) {
    const long before = openDescriptors();
    const QString argument = "'q' \"d\"; $(echo x) `echo y` * \n -x $HOME";
    const std::tuple<QString, int, QByteArray, QByteArray> cases[] = {
        {"printf '\\377\\376\\000x' >&2; printf 4; exit 255", 255, "4", {"\xff\xfe\0x", 4}},
        {"head -c 1048576 /dev/zero; head -c 1048576 /dev/zero >&2; exit 4", 4,
         QByteArray(1048576, '\0'), QByteArray(1048576, '\0')},
        {R"(cat; printf '%s|%s|' "$1" "$#"; echo "$LC_ALL|$PATH|$HOME")", 0,
         argument.toUtf8() + "|1|C|/usr/sbin:/usr/bin:/sbin:/bin|\n", ""},
        {"kill -KILL $$", 128 + SIGKILL, "", ""},
#ifdef __linux__
        {"grep -E '^Sig(Blk|Ign)' /proc/self/status | cut -c 18-", 0, "0000000\n0000000\n", ""},
        {R"(cut -d' ' -f5-7 /proc/$$/stat | grep -qx "$$ $$ 0")", 0, "", ""},
#endif
        {"printf started; exec sleep 60 >&- 2>&-", -1, "started", ""},
        {"exec yes", -1, QByteArray("y\n").repeated(1 << 19), ""},
        {"sleep 60 & exit 7", 7, "", ""}, // its child holding the pipes
    };
    sigset_t blocked;
    sigfillset(&blocked);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    qputenv("LC_ALL", "de_DE.UTF-8"); // and every user's language gets the same answer
    for (const auto& [script, status, output, errors] : cases) {
        const auto start = Steady::now();
        const ToolOutcome outcome = shell(script, argument);
        EXPECT_TRUE(outcome.exitedWith(status) == (status >= 0) &&
                    outcome.timedOut == (status < 0) && !outcome.stillRunning &&
                    outcome.standardOutput == output && outcome.standardError == errors &&
                    Steady::now() - start < 2s &&
                    (outcome.standardOutputCut > 0) == script.contains("yes"))
            << script.toStdString();
    }
    pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_DFL);

    const ToolOutcome missing = PosixToolRunner().run("/no/tool", {}, 1s);
    EXPECT_EQ(
        missing.launched() ? "" : missing.launchError->fullText,
        R"(Error Domain=NSPOSIXErrorDomain Code=2 "No such file or directory" UserInfo={NSFilePath=/no/tool})");
    const QString child = shell("sleep 60 & echo $!; exec sleep 60").standardOutput.trimmed();
    EXPECT_TRUE(shell("sleep 0.2; ! ps -o stat= -p $1 | grep -qv Z", child).exitedWith(0));
    std::signal(SIGCHLD, SIG_IGN);
    const ToolOutcome reaped = shell("exit 3");
    std::signal(SIGCHLD, SIG_DFL);
    EXPECT_EQ(reaped.launched() ? "" : reaped.launchError->localizedDescription,
              "The tool's end could not be waited for: No child processes");
    // No descriptor left for the pipes: the tool is not started, and the reason says why.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const int lowest = ::open("/dev/null", O_RDONLY);
    ::close(lowest);
    const rlimit none{rlim_t(lowest), limit.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &none);
    const ToolOutcome starved = shell("exit 0");
    ::setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_EQ(starved.launched() ? "" : starved.launchError->localizedDescription,
              "Too many open files");
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a tool was never reaped";
    if (::geteuid() == 0) { // a tool become root, as pkexec's command, reads as still running
        const QString root = "/tmp/corvane-setpriv-" + QString::number(::getpid());
        ASSERT_TRUE(shell(R"(cp /usr/bin/setpriv "$1" && chmod 4755 "$1")", root).exitedWith(0));
        const auto start = Steady::now();
        const pid_t user = ::fork();
        if (user == 0)
            ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 &&
                    PosixToolRunner().run(root, {"--reuid=0", "sleep", "3"}, 300ms).stillRunning);
        int status = -1;
        ::waitpid(user, &status, 0);
        QFile::remove(root);
        EXPECT_TRUE(WEXITSTATUS(status) == 1 && Steady::now() - start < 2s);
    }
}

// A stalled reader costs lines, counted once it drains, never the caller.
TEST(Log, AStalledOrVanishedReaderCostsLinesNeverTheCaller) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    for (const int end : ends)
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    const QByteArray behind = QByteArray(59999, '-') + '\n'; // a reader that is behind already
    ASSERT_EQ(::write(ends[1], behind.constData(), behind.size()), behind.size());
    QByteArray written;
    Log log(ends[1]);
    const auto drain = [&] {
        char bytes[65536];
        for (bool flushed = false; !flushed;) {
            flushed = log.flush(10ms);
            for (ssize_t count = 0; (count = ::read(ends[0], bytes, sizeof bytes)) > 0;)
                written.append(bytes, count);
        }
    };
    const QString line(9999, 'x');
    const auto start = Steady::now();
    for (int index = 0; index < 200; ++index)
        log.writeLine(line);
    EXPECT_TRUE(Steady::now() - start < 1s && !log.flush(50ms)) << "the caller waited";
    drain();
    const QByteArray answer(70000, 'a'); // more than the whole queue
    log.write(answer + '\n');
    drain();
    Log(ends[1]).writeLine("gone");
    drain();
    const qsizetype kept = written.count(line.toUtf8() + '\n');
    EXPECT_EQ(written.split('\n').value(kept + 1),
              QStringLiteral("⚠️ Output was not being read: %1 lines dropped").arg(200 - kept));
    EXPECT_TRUE(kept >= 6 && written.endsWith('\n' + answer + "\ngone\n"));
    ::close(ends[0]);
    std::signal(SIGPIPE, SIG_IGN);
    for (Log* gone : {&log, &log}) {
        gone->writeLine("nobody reads this");
        EXPECT_TRUE(gone->flush(1s));
    }
}

// Only a private folder of the user's will do, and no link planted there is followed.
TEST(InstanceLock, OneCopyHoldsItInAFolderNobodyElseCouldHaveUsed) {
    QTemporaryDir scratch;
    const QString at = scratch.path() + '/';
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    // The other copy holds the lock until it is killed, and is gone at once when it cannot.
    if (other == 0) {
        if (InstanceLock lock("corvane.lock", {at + "private"});
            lock.lock() == Locked && ::write(ready[1], "y", 1) == 1)
            ::pause();
        ::_exit(1);
    }
    ::close(ready[1]);
    char locked = 0;
    ASSERT_TRUE(::read(ready[0], &locked, 1) == 1 && locked == 'y');
    InstanceLock lock("corvane.lock", {at + "private"});
    const long before = openDescriptors();
    EXPECT_TRUE(lock.lock() == HeldElsewhere && lock.holder() == other);
    EXPECT_EQ(openDescriptors(), before) << "a look at a held lock kept a descriptor";
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    EXPECT_TRUE(lock.lock() == Locked && lock.lock() == Locked);
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a folder of another user's";
    ASSERT_TRUE(shell(R"(cd "$1" && mkdir -m 700 foreign linked fifo && mkdir -m 777 shared &&
        chown 65534:65534 foreign && mkfifo fifo/corvane.lock && echo keep >victim &&
        ln -s "$1/victim" linked/corvane.lock && ln -s linked link)",
                      scratch.path())
                    .exitedWith(0));
    const QStringList unusable = {
        at + "foreign", at + "shared", at + "victim", at + "linked", at + "link", at + "fifo", ""};
    InstanceLock nowhere("corvane.lock", unusable);
    EXPECT_EQ(nowhere.lock(), Unavailable);
    EXPECT_EQ(openDescriptors(), before + 1) << "a refused lock file was left open";
    for (const QString& where : unusable)
        EXPECT_TRUE(nowhere.problem().contains(where + "/corvane.lock: ")) << where.toStdString();
    EXPECT_EQ(shell(R"(cat "$1")", at + "victim").standardOutput, "keep\n");
    EXPECT_EQ(InstanceLock("corvane.lock", unusable + QStringList{at + "other"}).lock(), Locked);
    EXPECT_EQ(openDescriptors(), before + 1) << "a lock gone kept its file open";
}

#ifdef __linux__
// The model, or "none", of which nothing is said; a small file read by every rule, whatever is
// planted in its place; settings only in a home.
TEST(Services, AnAppleBoardElseAnAppleFirmwaresProductNameAndSettingsOnlyAtHome) {
    QTemporaryDir folder;
    ASSERT_TRUE(shell(R"(cd "$1" && mkdir pc && echo Apple Inc. >sys_vendor && mkfifo fifo &&
        echo LENOVO >pc/sys_vendor && echo MacBookPro15,2 | tee dmi >pc/dmi && ln -s dmi link &&
        head -c 64 /dev/zero >zeros && : >empty && printf 'apple,j293\0apple,t8103\0' >m1 &&
        printf 'apple,j493\0apple,t8112' >m2 && printf 'apple,j313\0' >air)",
                      folder.path())
                    .exitedWith(0));
    QTemporaryFile said;
    ASSERT_TRUE(said.open());
    Log log(said.handle());
    const auto model = [&](const char* productName, const char* deviceTree) -> QString {
        SystemModelQuery query(folder.filePath(productName), folder.filePath(deviceTree));
        return query.model(log).value_or("none");
    };
    const std::tuple<QString, qsizetype, Links, QByteArray, QString> files[] = {
        {"dmi", 15, Links::Refuse, "MacBookPro15,2\n", ""}, // exactly the limit is whole
        {"dmi", 14, Links::Refuse, "MacBookPro15,2", ": longer than any value it may hold"},
        {"dmi", 0, Links::Refuse, "", ": longer than any value it may hold"},
        {"empty", 0, Links::Refuse, "", ""},
        {"link", 64, Links::Follow, "MacBookPro15,2\n", ""},
        {"link", 64, Links::Refuse, "", ": not a plain file"},
        {"/dev/zero", 64, Links::Follow, "", ": not a plain file"},
        {"absent", 64, Links::Follow, "", ": No such file or directory"},
    };
    for (const auto& [name, limit, links, bytes, problem] : files) {
        const QString path = name.startsWith('/') ? name : folder.filePath(name);
        const PlainFile file = readPlainFile(path, limit, links);
        EXPECT_EQ(file.bytes, bytes) << name.toStdString();
        EXPECT_EQ(file.problem, problem.isEmpty() ? "" : path + problem);
    }
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"dmi", "absent", "MacBookPro15,2"}, {"pc/dmi", "absent", "none"},
        {"dmi", "m1", "MacBookPro17,1"},     {"absent", "m2", "Mac14,7"},
        {"absent", "air", "apple,j313"},     {"absent", "zeros", "none"},
        {"absent", "absent", "none"},        {"fifo", "absent", "none"},
    };
    for (const auto& [productName, deviceTree, expected] : cases)
        EXPECT_EQ(model(productName, deviceTree), expected) << productName << ' ' << deviceTree;
    log.flush(1s);
    EXPECT_EQ(QFile(said.fileName()).size(), 0) << "a machine without a model is no alarm";

    // The lock's folders do not follow the environment, so that every copy finds the lock.
    QTemporaryDir home;
    const QStringList lockFolders = instanceLockFolders();
    EXPECT_EQ(lockFolders.value(lockFolders.size() - 1),
              "/tmp/corvane-" + QString::number(::geteuid()));
    const QByteArray kept = QFile::encodeName(home.path());
    qunsetenv("XDG_CONFIG_HOME");
    // A name Qt cannot give back byte for byte would be a sibling's.
    for (const QByteArray& variable : QByteArrayList{kept + "/h\xff", {}, "/", "relative", kept}) {
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
            qputenv(name, variable);
        EXPECT_EQ(openSettings() != nullptr, variable == kept) << variable.toStdString();
        EXPECT_EQ(instanceLockFolders(), lockFolders);
    }
    shell(R"(mkdir -p "$1" && mkfifo "$1"/com.tamberlin.corvane.conf)", home.filePath(".config"));
    const long before = openDescriptors();
    EXPECT_FALSE(openSettings()) << "a FIFO was taken for the settings";
    EXPECT_EQ(openDescriptors(), before) << "the FIFO was left open";
}

// Bounded, newest kept, one whole line per write also from two copies at once, a torn line lost
// alone; what Corvane did not write there is read safely and left as it is.
TEST(History, KeepsTheNewestWholeLinesAndLeavesAFileItDidNotWriteAlone) {
    QTemporaryDir folder;
    const QString path = folder.filePath("state/corvane/history.jsonl");
    const auto numbers = [&] {
        QList<int> seen;
        for (const QJsonObject& entry : History(path).recent(1000))
            seen << entry["n"].toInt();
        return seen;
    };
    const long descriptors = openDescriptors();
    History history(path);
    ASSERT_TRUE(history.append({{"n", 1}})) << history.problem().toStdString();
    shell(R"(printf '{"n":' >>"$1")", path);             // a full disk or a crash tore it
    const QString longest(History::lineLimit - 21, 'x'); // {"n":2,"padding":""} and its end
    EXPECT_FALSE(history.append({{"n", 2}, {"padding", longest + 'x'}}));
    EXPECT_TRUE(history.append({{"n", 2}, {"padding", longest}}) &&
                numbers() == QList<int>({1, 2}));
    const pid_t child = ::fork();
    for (int index = 0; index < 149; ++index)
        history.append({{"n", child == 0 ? 3 : 4}, {"padding", QString(2000, 'x')}});
    if (child == 0)
        std::_Exit(0);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(history.append({{"n", 5}}) && numbers().first() == 2 && history.append({{"n", 6}}));
    const QList<int> kept = numbers();
    EXPECT_TRUE(kept.size() == History::capacity && kept.count(3) == 149 && kept.count(4) == 149 &&
                kept.mid(History::capacity - 2) == QList<int>({5, 6}))
        << "lines were lost or mixed, or not the oldest dropped";
    EXPECT_EQ(shell(R"(stat -c %a "${1%/*}" "$1")", path).standardOutput, "700\n600\n");

    const QString moveAway = "; move it away to start a new history";
    const std::pair<const char*, QString> planted[] = {
        {"mkfifo h", ": not a plain file"},
        {"echo '{}' >t && ln -s t h", ": not a plain file"},
        {"truncate -s 3M h", ": longer than a history grows" + moveAway},
        {R"(printf 'no history\n\377{\n' >h)", ": holds no entry of a history" + moveAway},
        {R"(printf '\0\1x' >h)", ": holds no entry of a history" + moveAway},
        {R"(printf '{"n":"%04088d"}\n' 0 >h)", ": holds no entry of a history" + moveAway},
    };
    const QString look =
        R"(cd "$1" && ls -l --time-style=+%s.%N && find -type f -exec md5sum {} +)";
    for (const auto& [make, problem] : planted) {
        QTemporaryDir other;
        shell(QString(R"(cd "$1" && )") + make, other.path());
        const QByteArray before = shell(look, other.path()).standardOutput;
        History foreign(other.filePath("h"));
        EXPECT_FALSE(foreign.append({{"n", 1}})) << make;
        EXPECT_EQ(foreign.problem(), other.filePath("h") + problem);
        EXPECT_TRUE(foreign.recent(5).isEmpty() &&
                    foreign.problem() == other.filePath("h") + problem);
        EXPECT_EQ(shell(look, other.path()).standardOutput, before) << make;
    }
    History none(""), unwritable("/sys/corvane/history.jsonl");
    EXPECT_TRUE(!none.append({}) &&
                none.problem() == "There is no home folder to keep the history in");
    EXPECT_TRUE(!unwritable.append({}) &&
                unwritable.problem() == "/sys/corvane: Operation not permitted");
    EXPECT_EQ(openDescriptors(), descriptors) << "a file was left open";

    qputenv("HOME", QFile::encodeName(folder.path()));
    for (const QByteArray& state : QByteArrayList{"relative", "/var/state"}) {
        qputenv("XDG_STATE_HOME", state);
        EXPECT_EQ(History::defaultPath(),
                  (state == "relative" ? folder.filePath(".local/state") : state) +
                      "/corvane/history.jsonl");
    }
    qunsetenv("XDG_STATE_HOME");
}
#endif

// Crash reports are told by name and time, newest first and no more than asked, never through a
// link; the system's name is os-release's, unquoted, from /usr/lib where /etc has none.
TEST(Diagnostics, NewestCrashReportsByNameAndTheSystemsName) {
    QTemporaryDir folder;
    const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(-60);
    for (const auto& [name, age] : {std::pair{"TouchBarServer-1.ips", 30},
                                    {"TouchBarServer-2.ips", 10},
                                    {"TouchBarServer-3.ips", 20},
                                    {"Dock-4.ips", 0}}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setFileTime(now.addSecs(-age), QFileDevice::FileModificationTime);
    }
    QFile::link(folder.filePath("Dock-4.ips"), folder.filePath("TouchBarServer-5.ips"));
    const QList<CrashReport> reports = touchBarCrashReports(folder.path(), 2);
    ASSERT_EQ(reports.size(), 2);
    EXPECT_EQ(reports[0].name + ' ' + reports[1].name, "TouchBarServer-2.ips TouchBarServer-3.ips");
    EXPECT_EQ(reports[0].modified.toSecsSinceEpoch(), now.addSecs(-10).toSecsSinceEpoch());

    QDir(folder.path()).mkpath("usr/lib");
    QFile release(folder.filePath("usr/lib/os-release"));
    ASSERT_TRUE(release.open(QIODevice::WriteOnly));
    release.write("NAME=Debian\nPRETTY_NAME=\"Debian \\\"twelve\\\" 12\"\nID=debian\n");
    release.close();
    EXPECT_EQ(systemName(folder.path()), "Debian \"twelve\" 12");
}
