#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>
#include <sys/types.h>

namespace corvane {

// How many bytes of a process's name the system keeps where pgrep and pkill read it (macOS's
// MAXCOMLEN, Linux's TASK_COMM_LEN less its NUL): their -x never matches a longer name.
#ifdef __APPLE__
inline constexpr qsizetype processNameField = 16;
#else
inline constexpr qsizetype processNameField = 15;
#endif
inline bool fitsProcessNameField(const QString& name) {
    return name.toUtf8().size() <= processNameField;
}

// A process running under a name, and whose it is.
struct RunningProcess {
    qint64 id;
    uid_t owner;
};
using RunningProcesses = QList<RunningProcess>;

// Why a tool never ran, as opposed to a tool that ran and failed.
struct LaunchError {
    // Short text for the user, e.g. "No such file or directory".
    QString localizedDescription;
    // The whole error with its domain and code, for diagnostics, e.g.
    // Error Domain=NSPOSIXErrorDomain Code=2 "No such file or directory" UserInfo={...}
    QString fullText;
};

struct ToolOutcome {
    // Set when the tool could not be started, or when its end could not be waited for (as
    // when something else reaped it): either way it did not run to an end we know of, and
    // nothing else then holds.
    std::optional<LaunchError> launchError;
    // Set when the tool outlived its time limit and was stopped; its status then means nothing.
    bool timedOut = false;
    // Set, with timedOut, when the tool outlived its limit and could not be stopped, as a
    // command that pkexec runs as root cannot: it is still running, and is reaped when it ends.
    bool stillRunning = false;
    // The exit status; a tool ended by a signal reports 128 + the signal number, so it can
    // never be mistaken for the tool's own 0 ("done") or 1 ("nothing matched").
    std::int32_t exitStatus = 0;
    // What the tool wrote, byte for byte, up to the first MiB of each stream.
    QByteArray standardOutput;
    QByteArray standardError;
    // How many bytes the tool wrote past that MiB, read and let go.
    qint64 standardOutputCut = 0;
    qint64 standardErrorCut = 0;

    bool launched() const { return !launchError; }
    // Whether the tool ran to its end and exited with `status`.
    bool exitedWith(std::int32_t status) const {
        return launched() && !timedOut && exitStatus == status;
    }
};

// The system's processes, as the restart reaches them: it runs their tools, and reads their
// table where the tools fall short.
class ToolRunner {
public:
    virtual ~ToolRunner() = default;

    // Runs a system tool by absolute path, with each argument reaching it as exactly one
    // argument, never through a shell, and blocks until it ends or its time limit has passed.
    // The tool reads nothing and writes only into pipes of ours: its answer never depends on
    // who reads our output.
    virtual ToolOutcome run(const QString& program, const QStringList& arguments,
                            std::chrono::milliseconds timeLimit) = 0;

    // The processes whose program's whole file name is `name`, whoever's they are, as pgrep -x
    // finds them, and also where `name` is longer than processNameField, which pgrep cannot
    // match. One that has ended but is not yet reaped does not count. Nothing when the table
    // could not be read.
    virtual std::optional<RunningProcesses> processesNamed(const QString& name) = 0;
};

// Starts tools with posix_spawn: no shell, no PATH search, standard input on /dev/null,
// default signal handling with nothing blocked whatever thread spawns it, a session of its own
// without a terminal, and a fixed environment (LC_ALL=C and the system's PATH, nothing else),
// so that its messages read the same for every user. Both output streams are drained while the
// tool runs, so a chatty tool cannot stall on a full pipe. A tool still running at its time
// limit is killed with everything it started; a child it left behind holding the pipes is not
// waited for.
//
// Reads the process table through libproc on macOS, whose proc_name() keeps a program's name
// whole, and through /proc on Linux: there a name that fits is matched against the kernel's
// name of the process, as pgrep does, and a longer one by its first 15 bytes and then by the
// file name of the process's first argument.
class PosixToolRunner final : public ToolRunner {
public:
    ToolOutcome run(const QString& program, const QStringList& arguments,
                    std::chrono::milliseconds timeLimit) override;
    std::optional<RunningProcesses> processesNamed(const QString& name) override;
};

// Has SIGINT, SIGTERM and SIGHUP end the tools PosixToolRunner runs, then the process as the
// signal would have, so that an administrator's prompt never outlives the person who asked for
// it. A granted pkexec is not reached: it forwards nothing, it becomes root's helper in the same
// process, which no user may signal, so the helper finishes. Corvane run by root, whom polkit
// never prompts, leaves its tools alone; so does a process that started with the signal
// ignored. Call once, before the first tool runs.
void endToolsWhenEnded();

} // namespace corvane
