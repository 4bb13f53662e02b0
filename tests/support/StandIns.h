#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <thread>
#include <vector>

// Real processes that stand in for the Touch Bar services on a machine without them: copies
// of /bin/sleep whose file name is the service's name, which is the name pgrep and pkill match.
// Linux keeps 15 characters of a process name, so only names that short can stand in.
namespace corvane::standins {

// A temporary folder of /bin/sleep copies, one per name.
class StandInFolder {
public:
    // The path of the copy named `name`, made on first use; empty if it cannot be made.
    QString executable(const QString& name);

private:
    QTemporaryDir folder;
};

// One stand-in process. It sleeps 120 s, so none outlives a crashed test for long; it is
// killed and reaped when the object goes, whatever happened in between.
class StandInProcess {
public:
    StandInProcess(StandInFolder& folder, const QString& name);
    ~StandInProcess();
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    bool started() const { return pid > 0; }
    // Waits up to `timeout` for the process to end and reaps it. The signal that ended it (0
    // when it exited by itself), or nothing while it still runs.
    std::optional<int> waitForEnd(std::chrono::milliseconds timeout);

private:
    pid_t pid = -1;
};

// Plays the operating system's part after a termination: launches each named stand-in and
// launches it again as soon as it ends, until stopped. Reaps at once, so a terminated
// stand-in never lingers as a zombie that pgrep would still report.
class Supervisor {
public:
    Supervisor(StandInFolder& folder, const QStringList& names);
    // Stops supervising and kills what still runs.
    ~Supervisor();
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    // How often `name` has been launched, the first launch included.
    int launches(const QString& name) const;
    // Waits until every name has been launched at least `count` times.
    bool waitForLaunches(int count, std::chrono::milliseconds timeout) const;

private:
    struct Slot {
        QString executable;
        pid_t pid = 0;
        int launches = 0;
    };
    void supervise(Slot& slot);

    mutable std::mutex mutex;
    mutable std::condition_variable launched;
    bool stopping = false;
    std::map<QString, Slot> supervised;
    std::vector<std::thread> threads;
};

} // namespace corvane::standins
