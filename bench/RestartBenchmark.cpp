// How much a restart costs beyond the tools it runs, and how long the GUI thread ever waits.
// A whole successful restart through TouchBarManager (real tool runner, real settings file,
// the wait set to zero) is timed against /bin/sh making the very same tool runs, which is the
// floor: both pay one process start per tool. Stand-ins named like the services are
// relaunched by shell loops, as the system would. With the real two-second wait, it reports
// the longest gap between the GUI thread's 5 ms heartbeats during the detection that follows
// the window's first frame and during a restart, and how long making the manager took.
//
// Linux only, in a PID namespace of its own: it terminates processes by the services' names.
//   unshare --pid --fork --kill-child --mount-proc build/bench/bench/corvane-bench

#include "core/Processes.h"
#include "core/TouchBarManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace corvane;
using namespace std::chrono_literals;

namespace {

constexpr int runsEach = 21;

class TouchBarModel final : public ModelQuery {
public:
    std::optional<QString> model(Log&) override { return QStringLiteral("MacBookPro16,1"); }
};

// The system clock, with the wait only when asked for.
class OptionalWait final : public Clock {
public:
    bool waits = true;
    QDateTime now() const override { return system.now(); }
    std::chrono::milliseconds sinceBoot() const override { return system.sinceBoot(); }
    void sleep(std::chrono::nanoseconds duration) override {
        if (waits)
            system.sleep(duration);
    }

private:
    SystemClock system;
};

// The real runner, noting each run as a shell command when asked. A look in the process table
// is no tool run, and the shell has nothing to match it.
class RecordingToolRunner final : public ToolRunner {
public:
    bool recording = false;
    QStringList commands;

    ToolOutcome run(const QString& program, const QStringList& arguments,
                    std::chrono::milliseconds timeLimit) override {
        if (recording) {
            QStringList words{program};
            for (const QString& argument : arguments)
                words << QLatin1Char('\'') + argument + QLatin1Char('\'');
            commands << words.join(QLatin1Char(' '));
        }
        return real.run(program, arguments, timeLimit);
    }
    std::optional<RunningProcesses> processesNamed(const QString& name) override {
        return real.processesNamed(name);
    }

private:
    PosixToolRunner real;
};

pid_t spawnShell(const QByteArray& script) {
    const char* argv[] = {"/bin/sh", "-c", script.constData(), nullptr};
    pid_t child = 0;
    posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    return child;
}

bool runShell(const QString& script) {
    int status = 0;
    return ::waitpid(spawnShell(". '" + QFile::encodeName(script) + "' >/dev/null 2>&1"), &status,
                     0) > 0 &&
           WIFEXITED(status);
}

// Both services run again, a moment after a restart terminated them.
bool servicesRun() {
    for (int tries = 0; tries < 5000; ++tries) {
        if (::system("pgrep -x TouchBarServer >/dev/null && pgrep -x ControlStrip >/dev/null") == 0)
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The longest the GUI thread goes without serving its event loop while `signal` is awaited.
template <typename Signal> double longestStall(TouchBarManager& manager, Signal signal) {
    QSignalSpy done(&manager, signal);
    double longest = 0;
    QElapsedTimer sinceBeat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longest = std::max(longest, static_cast<double>(sinceBeat.nsecsElapsed()) / 1e6);
        sinceBeat.restart();
    });
    sinceBeat.start();
    heartbeat.start(5);
    return done.wait(60000) ? std::max(longest, static_cast<double>(sinceBeat.nsecsElapsed()) / 1e6)
                            : -1;
}

int fail(const char* message) {
    std::fprintf(stderr, "corvane-bench: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTemporaryDir scratch;
    for (const char* name : {"TouchBarServer", "ControlStrip"})
        QFile::copy(QStringLiteral("/bin/sleep"), scratch.filePath(QLatin1String(name)));
    spawnShell("cd '" + QFile::encodeName(scratch.path()) +
               "' || exit; while :; do ./TouchBarServer 600; done & "
               "while :; do ./ControlStrip 600; done & wait");
    if (!servicesRun())
        return fail("the stand-ins did not start");

    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    RecordingToolRunner tools;
    TouchBarModel model;
    OptionalWait clock;
    Log output(null);
    Log errors(null);
    const Services services{tools, model, clock, output, errors, ::geteuid()};
    QSettings settings(scratch.filePath(QStringLiteral("com.tamberlin.corvane.conf")),
                       QSettings::IniFormat);

    QElapsedTimer construction;
    construction.start();
    TouchBarManager manager(services, appleServices(), &settings);
    const double constructionMilliseconds = static_cast<double>(construction.nsecsElapsed()) / 1e6;
    manager.performFullTouchBarDetection();
    const double detectionStall = longestStall(manager, &TouchBarManager::detectionFinished);
    manager.restartTouchBar();
    const double restartStall = longestStall(manager, &TouchBarManager::restartFinished);
    if (detectionStall < 0 || restartStall < 0 || manager.restartCount() != 1 || !servicesRun())
        return fail("the restart with the real wait did not succeed");

    // One restart tells which tools the manager runs, in which order; the shell replays them.
    clock.waits = false;
    // Only the restart itself is timed, as only the script is on the shell's side; a run that
    // failed would have skipped tools, so it does not count.
    const auto restart = [&] {
        const qint64 count = manager.restartCount();
        QSignalSpy finished(&manager, &TouchBarManager::restartFinished);
        return manager.restartTouchBar() && finished.wait(60000) &&
               manager.restartCount() == count + 1;
    };
    tools.recording = true;
    const bool recorded = restart() && servicesRun();
    tools.recording = false;
    const QString script = scratch.filePath(QStringLiteral("restart.sh"));
    QFile file(script);
    if (!recorded || !file.open(QIODevice::WriteOnly) ||
        file.write((tools.commands.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0)
        return fail("the recorded restart did not succeed");
    file.close();

    std::vector<double> corvaneTimes;
    std::vector<double> shellTimes;
    for (int run = 0; run <= runsEach; ++run) {
        for (const bool corvane : {run % 2 == 0, run % 2 != 0}) {
            const auto start = std::chrono::steady_clock::now();
            if (corvane ? !restart() : !runShell(script))
                return fail("a timed run failed");
            // The first round only warms both up.
            if (run > 0)
                (corvane ? corvaneTimes : shellTimes).push_back(millisecondsSince(start));
            if (!servicesRun())
                return fail("the services were not relaunched");
        }
    }
    // Reading tiny-dfr's health, given the processes already listed as a restart has them: the
    // one systemctl show and the sysfs reads, of a T2 laid out as its kernel shows it.
    QDir sys(scratch.filePath(QStringLiteral("sys")));
    for (const char* product : {"8302", "8102"}) {
        const QString device = QStringLiteral("bus/usb/devices/1-%1/").arg(QLatin1String(product));
        sys.mkpath(device);
        for (const auto& [name, value] : {std::pair{"idVendor", "05ac"}, {"idProduct", product}}) {
            QFile id(sys.filePath(device + QLatin1String(name)));
            if (!id.open(QIODevice::WriteOnly) || id.write(value) < 0)
                return fail("could not lay out a T2's /sys");
        }
    }
    sys.mkpath(QStringLiteral("class/backlight/appletb_backlight"));
    sys.mkpath(QStringLiteral("class/drm/card1/device"));
    QFile::link(QStringLiteral("../../../bus/usb/drivers/appletbdrm"),
                sys.filePath(QStringLiteral("class/drm/card1/device/driver")));
    const ToolSession session(services);
    const ProcessListing listing = {
        {QStringLiteral("tiny-dfr"),
         Processes(session, touchBarDaemon()).find(QStringLiteral("tiny-dfr"))}};
    std::vector<double> healthTimes;
    for (int run = 0; run <= runsEach; ++run) {
        const auto start = std::chrono::steady_clock::now();
        classifyHealth(touchBarDaemon(), observeHealth(touchBarDaemon(), session, scratch.path(),
                                                       QStringLiteral("MacBookPro16,1"), listing));
        if (run > 0)
            healthTimes.push_back(millisecondsSince(start));
    }
    const double corvane = median(corvaneTimes);
    const double shell = median(shellTimes);
    std::printf("tool runs per restart: %lld, median of %d runs each, interleaved\n",
                static_cast<long long>(tools.commands.size()), runsEach);
    std::printf("making the manager on the GUI thread: %.1f ms\n", constructionMilliseconds);
    std::printf("GUI thread, longest gap between 5 ms heartbeats: %.1f ms during the detection "
                "after the first frame, %.1f ms during a restart with the real 2 s wait\n",
                detectionStall, restartStall);
    std::printf("restart overhead: corvane %.1f ms, shell %.1f ms, ratio %.2f\n", corvane, shell,
                corvane / shell);
    std::printf("reading tiny-dfr's health (one systemctl show and the sysfs reads): %.1f ms\n",
                median(healthTimes));
    return 0;
}
