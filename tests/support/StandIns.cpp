#include "StandIns.h"

#include "SpawnAttributes.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace corvane::standins {
namespace {

// Starts `executable` with default signal handling, whatever thread or test set up before.
pid_t spawnSleeper(const QString& executable) {
    if (executable.isEmpty())
        return -1;
    QByteArray path = QFile::encodeName(executable);
    QByteArray seconds = "120";
    char* argv[] = {path.data(), seconds.data(), nullptr};

    const SpawnAttributes attributes;
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.constData(), nullptr, attributes.get(), argv, environ);
    return error == 0 ? pid : -1;
}

} // namespace

QString StandInFolder::executable(const QString& name) {
    const QString path = folder.filePath(name);
    if (QFile::exists(path) || QFile::copy(QStringLiteral("/bin/sleep"), path))
        return path;
    return {};
}

StandInProcess::StandInProcess(StandInFolder& folder, const QString& name)
    : pid(spawnSleeper(folder.executable(name))) {}

StandInProcess::~StandInProcess() {
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

std::optional<int> StandInProcess::waitForEnd(std::chrono::milliseconds timeout) {
    if (pid <= 0)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

Supervisor::Supervisor(StandInFolder& folder, const QStringList& names) {
    for (const QString& name : names)
        supervised[name].executable = folder.executable(name);
    for (auto& entry : supervised)
        threads.emplace_back([this, &slot = entry.second] { supervise(slot); });
}

Supervisor::~Supervisor() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
        for (const auto& entry : supervised) {
            if (entry.second.pid > 0)
                ::kill(entry.second.pid, SIGKILL);
        }
    }
    for (std::thread& thread : threads)
        thread.join();
}

void Supervisor::supervise(Slot& slot) {
    for (;;) {
        pid_t child = 0;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
            child = spawnSleeper(slot.executable);
            if (child <= 0)
                return;
            slot.pid = child;
            ++slot.launches;
        }
        launched.notify_all();

        // Wait without reaping, so the id cannot be reused while the destructor may still
        // signal it; reap under the lock.
        siginfo_t info;
        while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 &&
               errno == EINTR) {
        }
        std::lock_guard lock(mutex);
        ::waitpid(child, nullptr, 0);
        slot.pid = 0;
    }
}

int Supervisor::launches(const QString& name) const {
    std::lock_guard lock(mutex);
    const auto slot = supervised.find(name);
    return slot == supervised.end() ? 0 : slot->second.launches;
}

bool Supervisor::waitForLaunches(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex);
    return launched.wait_for(lock, timeout, [&] {
        for (const auto& entry : supervised) {
            if (entry.second.launches < count)
                return false;
        }
        return true;
    });
}

} // namespace corvane::standins
