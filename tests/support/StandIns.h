#pragma once

#include "SpawnAttributes.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

// Real processes that stand in for the Touch Bar services on a machine without them: copies
// of /bin/sleep whose file name is the service's name, which is the name pgrep and pkill match.
// Linux keeps 15 characters of a process name, so only names that short can stand in.
namespace corvane::standins {

// Checks `done` every millisecond until it holds or `timeout` has passed.
template <typename Condition> bool pollUntil(std::chrono::milliseconds timeout, Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One stand-in process, visible to pgrep once posix_spawn has returned. It sleeps 120 s, so
// none outlives a crashed test for long; it is killed and reaped when the object goes.
class StandInProcess {
public:
    explicit StandInProcess(const QString& name) {
        static QTemporaryDir folder; // one set of copies for the whole run
        const QString executable = folder.filePath(name);
        QFile::copy(QStringLiteral("/bin/sleep"), executable);
        QByteArray path = QFile::encodeName(executable);
        QByteArray seconds = "120";
        char* argv[] = {path.data(), seconds.data(), nullptr};
        const SpawnAttributes attributes; // default signal handling, whatever the test set up
        if (posix_spawn(&pid, path.constData(), nullptr, attributes.get(), argv, environ) != 0)
            pid = -1;
    }
    ~StandInProcess() {
        if (pid > 0)
            ::kill(pid, SIGKILL);
        waitForEnd(std::chrono::minutes(1));
    }
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    bool started() const { return pid > 0; }
    // Waits up to `timeout` for the process to end and reaps it. The signal that ended it (0
    // when it exited by itself or someone else reaped it), or nothing while it still runs.
    std::optional<int> waitForEnd(std::chrono::milliseconds timeout) {
        int status = 0;
        if (pid > 0 && !pollUntil(timeout, [&] { return ::waitpid(pid, &status, WNOHANG) != 0; }))
            return std::nullopt;
        pid = -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

private:
    pid_t pid = -1;
};

// Plays the operating system's part after a termination: launches each named stand-in, and
// again a millisecond or two after its end. One thread owns, reaps and kills them all, so no
// id it signals can have been reused.
class Supervisor {
public:
    // Returns once every stand-in runs, or after 5 s.
    explicit Supervisor(const QStringList& names)
        : thread([this, names] {
            std::vector<std::unique_ptr<StandInProcess>> running(names.size());
            std::vector<int> launches(names.size());
            while (!stopping) {
                for (std::size_t slot = 0; slot < running.size(); ++slot) {
                    if (running[slot] && !running[slot]->waitForEnd(std::chrono::milliseconds(0)))
                        continue;
                    running[slot] = std::make_unique<StandInProcess>(names[slot]);
                    launches[slot] += running[slot]->started() ? 1 : 0;
                }
                fewestLaunches = *std::min_element(launches.begin(), launches.end());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }) {
        waitForRelaunch(std::chrono::seconds(5));
    }
    ~Supervisor() {
        stopping = true;
        thread.join();
    }

    // Waits for the next launch of every name: the constructor's wait for the first, each
    // further wait for one more than the wait before it.
    bool waitForRelaunch(std::chrono::milliseconds timeout) {
        const int count = ++awaited;
        return pollUntil(timeout, [this, count] { return fewestLaunches >= count; });
    }

private:
    std::atomic<bool> stopping = false;
    std::atomic<int> fewestLaunches = 0;
    std::atomic<int> awaited = 0;
    std::thread thread;
};

} // namespace corvane::standins
