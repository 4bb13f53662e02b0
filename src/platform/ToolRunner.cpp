#include "platform/ToolRunner.h"

#include <QFile>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace corvane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// What a tool finds in its environment, whatever ours holds: messages in the C locale, which
// the callers read, and only the system's own folders to find other programs in.
char localeVariable[] = "LC_ALL=C";
char pathVariable[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char* toolEnvironment[] = {localeVariable, pathVariable, nullptr};

// What is kept of each of a tool's outputs; the answers read from them are a few lines long.
constexpr qsizetype keptBytes = qsizetype(1) << 20;

// A killed tool's end is a matter of moments, unless the kill never reached it.
constexpr auto stopGrace = std::chrono::milliseconds(500);

ToolOutcome notLaunched(int error, const QString& program, const QString& context = {}) {
    const QString description = context + QString::fromLocal8Bit(std::strerror(error));
    ToolOutcome outcome;
    outcome.launchError = {description, QStringLiteral("Error Domain=NSPOSIXErrorDomain Code=%1 "
                                                       "\"%2\" UserInfo={NSFilePath=%3}")
                                            .arg(error)
                                            .arg(description, program)};
    return outcome;
}

// The tools running now, for a signal handler to end: a slot is 0 when free, -1 while its tool
// is being started, else the tool's id, which is also its process group's.
std::array<std::atomic<pid_t>, 8> runningTools{};

// A tool's place in runningTools for as long as run() has it. The signals that end tools are
// held back from this thread while it starts one, so that the handler runs on another thread
// and can wait for the id instead of missing a tool that starts after it.
class RunningTool {
public:
    RunningTool() {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&ending, signal);
        pthread_sigmask(SIG_BLOCK, &ending, &before);
        for (std::atomic<pid_t>& candidate : runningTools) {
            pid_t free = 0;
            if (candidate.compare_exchange_strong(free, -1)) {
                slot = &candidate;
                break;
            }
        }
    }
    ~RunningTool() {
        if (slot)
            slot->store(0);
    }
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    // The tool started as `child`, or did not start (0).
    void started(pid_t child) {
        if (slot)
            slot->store(child);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }

private:
    std::atomic<pid_t>* slot = nullptr;
    sigset_t before;
};

void endToolsAndProcess(int signal) {
    for (std::atomic<pid_t>& slot : runningTools) {
        pid_t tool = slot.load();
        for (int look = 0; tool < 0 && look < 100; ++look) {
            const timespec pause{0, 1000000};
            ::nanosleep(&pause, nullptr);
            tool = slot.load();
        }
        if (tool > 0)
            ::kill(-tool, SIGTERM);
    }
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

// The spawn settings of one tool, released on every way out.
class Spawn {
public:
    Spawn() {
        posix_spawn_file_actions_init(&files);
        posix_spawnattr_init(&attributes);
        // A thread of ours may block or ignore signals; the tool starts clean all the same.
        sigset_t set;
        sigemptyset(&set);
        posix_spawnattr_setsigmask(&attributes, &set);
        sigfillset(&set);
        posix_spawnattr_setsigdefault(&attributes, &set);
        // A session of its own: no terminal of ours to prompt on or be stopped by, and one
        // process group that a stop ends with everything the tool started.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                  POSIX_SPAWN_SETSID);
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    ~Spawn() {
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
    }
    Spawn(const Spawn&) = delete;
    Spawn& operator=(const Spawn&) = delete;

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
};

// One output stream of the tool: the write end goes to the tool, the read end stays here.
class Pipe {
public:
    Pipe() = default;
    ~Pipe() {
        closeEnd(readEnd);
        closeEnd(writeEnd);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Both ends close on exec, so tools started by other threads meanwhile never inherit
    // them and keep our read from seeing the end.
    int open() {
        int ends[2];
#ifdef __APPLE__
        if (::pipe(ends) != 0)
            return errno;
        for (const int end : ends)
            ::fcntl(end, F_SETFD, FD_CLOEXEC);
#else
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return errno;
#endif
        readEnd = ends[0];
        writeEnd = ends[1];
        return 0;
    }
    static void closeEnd(int& end) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }

    int readEnd = -1;
    int writeEnd = -1;
};

std::int32_t statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return -1;
}

// How a look at the tool went: still running, ended with `status`, or its end cannot be known
// because waitpid failed with `error`, as when an ignored SIGCHLD lets the system reap it.
struct Look {
    bool ended = false;
    std::int32_t status = -1;
    int error = 0;
};

Look look(pid_t child) {
    int waitStatus = 0;
    pid_t reaped = 0;
    do {
        reaped = ::waitpid(child, &waitStatus, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0)
        return {};
    if (reaped < 0)
        return {true, -1, errno};
    return {true, statusOf(waitStatus), 0};
}

// Kills the tool's whole process group, the tool and whatever it started; true once the tool
// has ended. A tool that became another user, as pkexec's command does, cannot be killed: it
// is left to a waiter of its own, so that it is reaped whenever it ends and nobody waits here.
bool stop(pid_t child) {
    const bool signalled = ::kill(-child, SIGKILL) == 0;
    // No such group: the system already reaped the tool, as an ignored SIGCHLD has it do.
    if (!signalled && errno == ESRCH)
        return true;
    const auto deadline = SteadyClock::now() + stopGrace;
    for (auto pause = std::chrono::microseconds(50); signalled; pause *= 2) {
        if (look(child).ended)
            return true;
        if (SteadyClock::now() > deadline)
            break;
        std::this_thread::sleep_for(
            std::min<SteadyClock::duration>(pause, std::chrono::milliseconds(20)));
    }
    try {
        std::thread([child] {
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread to spare it stays a zombie until Corvane ends.
    }
    return false;
}

// Reads what is waiting in `pipe` into `bytes`, keeping at most keptBytes of it and counting
// the rest in `cut`; closes the pipe at its end.
void readAvailable(Pipe& pipe, QByteArray& bytes, qint64& cut) {
    std::array<char, 65536> chunk;
    ssize_t count = 0;
    do {
        count = ::read(pipe.readEnd, chunk.data(), chunk.size());
    } while (count < 0 && errno == EINTR);
    if (count <= 0) {
        Pipe::closeEnd(pipe.readEnd);
        return;
    }
    const qsizetype kept =
        std::min<qsizetype>(count, std::max<qsizetype>(0, keptBytes - bytes.size()));
    bytes.append(chunk.data(), kept);
    cut += count - kept;
}

} // namespace

ToolOutcome PosixToolRunner::run(const QString& program, const QStringList& arguments,
                                 std::chrono::milliseconds timeLimit) {
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> encoded{path};
    encoded.reserve(static_cast<std::size_t>(arguments.size()) + 1);
    for (const QString& argument : arguments)
        encoded.push_back(argument.toUtf8());
    std::vector<char*> argv;
    argv.reserve(encoded.size() + 1);
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    Pipe output;
    Pipe errors;
    for (Pipe* pipe : {&output, &errors}) {
        if (const int error = pipe->open(); error != 0)
            return notLaunched(error, program);
    }
    Spawn spawn;
    posix_spawn_file_actions_adddup2(&spawn.files, output.writeEnd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.files, errors.writeEnd, STDERR_FILENO);
    pid_t child = 0;
    RunningTool running;
    const int error = posix_spawn(&child, path.constData(), &spawn.files, &spawn.attributes,
                                  argv.data(), toolEnvironment);
    running.started(error == 0 ? child : 0);
    if (error != 0)
        return notLaunched(error, program);
    Pipe::closeEnd(output.writeEnd);
    Pipe::closeEnd(errors.writeEnd);

    ToolOutcome outcome;
    const auto deadline = SteadyClock::now() + timeLimit;
    Look status;
    int idleLooks = 0;
    for (;;) {
        if (!status.ended)
            status = look(child);
        std::array<pollfd, 2> fds{};
        std::array<Pipe*, 2> watched{};
        nfds_t count = 0;
        for (Pipe* pipe : {&output, &errors}) {
            if (pipe->readEnd < 0)
                continue;
            fds[count] = {pipe->readEnd, POLLIN, 0};
            watched[count++] = pipe;
        }
        if (status.ended && count == 0)
            break;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0) {
            if (!status.ended) {
                outcome.timedOut = true;
                outcome.stillRunning = !stop(child);
            }
            break;
        }
        if (count == 0) {
            // Both outputs have ended, so the tool almost always has too: look again at once,
            // then less and less often, in case it closed them and went on running.
            std::this_thread::sleep_for(std::min<SteadyClock::duration>(
                left, std::chrono::microseconds(20 << std::min(idleLooks++, 6))));
            continue;
        }
        // Once the tool has ended only what already waits is read: a child it left behind
        // may hold the pipes open for good. Before that, wake now and then to see whether it
        // ended without closing them, which it does when it hands them on.
        const int wait =
            status.ended ? 0 : static_cast<int>(std::min<std::int64_t>(left.count(), 10));
        const int ready = ::poll(fds.data(), count, wait);
        if (status.ended && ready <= 0)
            break;
        for (nfds_t index = 0; index < count && ready > 0; ++index) {
            if (fds[index].revents == 0)
                continue;
            Pipe* pipe = watched[index];
            if (pipe == &output)
                readAvailable(*pipe, outcome.standardOutput, outcome.standardOutputCut);
            else
                readAvailable(*pipe, outcome.standardError, outcome.standardErrorCut);
        }
    }
    if (status.error != 0)
        return notLaunched(status.error, program,
                           QStringLiteral("The tool's end could not be waited for: "));
    if (!outcome.timedOut)
        outcome.exitStatus = status.status;
    return outcome;
}

void endToolsWhenEnded() {
    if (::geteuid() == 0)
        return;
    struct sigaction action = {};
    action.sa_handler = endToolsAndProcess;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction inherited = {};
        ::sigaction(signal, nullptr, &inherited);
        if (inherited.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

} // namespace corvane
