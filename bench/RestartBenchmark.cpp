// How much a restart costs beyond the tools it runs. A whole successful restart through
// TouchBarManager (real tool runner, real executor, real settings file, the wait set to zero)
// is timed against /bin/sh making the very same tool runs, which is the floor: both pay one
// process start per tool. Stand-ins named like the services are relaunched by a supervisor,
// as the system would. Also reports how long the main thread stalls during a real restart.
//
// Linux only: it terminates processes by the services' names and runs killall Dock.

#include "AwaitRestart.h"
#include "LogSink.h"
#include "ModelQuery.h"
#include "PosixToolRunner.h"
#include "QtExecutor.h"
#include "SettingsDefaultsStore.h"
#include "StandIns.h"
#include "SystemClock.h"
#include "TouchBarManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace corvane;
using namespace std::chrono_literals;

namespace {

constexpr int runsEach = 21;

class DiscardingLog final : public LogSink {
public:
    void writeLine(const QString&) override {}
};

class TouchBarModel final : public ModelQuery {
public:
    int query(const char*, char* buffer, std::size_t& size) override {
        static constexpr char model[] = "MacBookPro16,1";
        if (buffer != nullptr)
            std::memcpy(buffer, model, std::min(size, sizeof model));
        size = sizeof model;
        return 0;
    }
};

class NoWait final : public Sleeper {
public:
    void sleep(std::chrono::nanoseconds) override {}
};

// The real runner, counting its runs and, when asked, noting each one as a shell command.
class RecordingToolRunner final : public ToolRunner {
public:
    bool recording = false;
    QStringList commands;
    int runs = 0;

    ToolOutcome run(const QString& program, const QStringList& arguments,
                    StandardError standardError) override {
        ++runs;
        if (recording) {
            QStringList words{program};
            for (const QString& argument : arguments)
                words << QLatin1Char('\'') + argument + QLatin1Char('\'');
            commands << words.join(QLatin1Char(' '));
        }
        return real.run(program, arguments, standardError);
    }

private:
    PosixToolRunner real;
};

// Sends standard output and error to /dev/null while it lives; the tools of both variants
// inherit that, so neither pays for a terminal.
class Silence {
public:
    Silence() {
        std::fflush(stdout);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~Silence() {
        ::dup2(savedOutput, STDOUT_FILENO);
        ::dup2(savedError, STDERR_FILENO);
        ::close(savedOutput);
        ::close(savedError);
    }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

private:
    int savedOutput = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    int savedError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool runShell(const QString& script) {
    QByteArray shell = "/bin/sh";
    QByteArray path = QFile::encodeName(script);
    char* argv[] = {shell.data(), path.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, shell.constData(), nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status);
}

int fail(const char* message) {
    std::fprintf(stderr, "corvane-bench: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    standins::Supervisor supervisor({"TouchBarServer", "ControlStrip"});

    QTemporaryDir scratch;
    SettingsDefaultsStore settings(scratch.filePath("com.tamberlin.corvane.conf"));
    RecordingToolRunner tools;
    TouchBarModel model;
    QtExecutor executor;
    SystemClock clock;
    DiscardingLog log;

    // What went wrong, reported once standard error is back.
    const char* problem = nullptr;

    // The longest the main thread went without serving its event loop, with the real wait.
    double longestStall = 0;
    {
        ThreadSleeper realWait;
        const auto manager = std::make_shared<TouchBarManager>(
            PlatformServices{tools, model, settings, executor, clock, realWait, log});
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(5);
        QElapsedTimer sinceBeat;
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            longestStall = std::max(longestStall, sinceBeat.nsecsElapsed() / 1e6);
            sinceBeat.restart();
        });
        const Silence silence;
        sinceBeat.start();
        heartbeat.start();
        const auto result = awaitRestart(*manager, 60s);
        longestStall = std::max(longestStall, sinceBeat.nsecsElapsed() / 1e6);
        if (!result || !result->isSuccess())
            problem = "the restart with the real wait did not succeed";
    }
    if (problem || !supervisor.waitForRelaunch(5s))
        return fail(problem ? problem : "the supervisor did not relaunch the services");

    NoWait noWait;
    const auto manager = std::make_shared<TouchBarManager>(
        PlatformServices{tools, model, settings, executor, clock, noWait, log});
    // One restart tells which tools the manager runs, in which order; the shell replays them.
    // It also warms the manager up.
    const QString script = scratch.filePath("restart.sh");
    {
        const Silence silence;
        tools.recording = true;
        const auto result = awaitRestart(*manager, 60s);
        tools.recording = false;
        if (!result || !result->isSuccess())
            problem = "the recorded restart did not succeed";
    }
    if (problem || !supervisor.waitForRelaunch(5s))
        return fail(problem ? problem : "the supervisor did not relaunch the services");
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write((tools.commands.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0)
        return fail("cannot write the shell script");
    file.close();
    const int toolRunsPerRestart = static_cast<int>(tools.commands.size());

    std::vector<double> corvaneTimes;
    std::vector<double> shellTimes;
    {
        const Silence silence;
        auto timeCorvane = [&] {
            const int runsBefore = tools.runs;
            const auto start = std::chrono::steady_clock::now();
            const auto result = awaitRestart(*manager, 60s);
            corvaneTimes.push_back(millisecondsSince(start));
            if (!result || !result->isSuccess() || tools.runs - runsBefore != toolRunsPerRestart)
                problem = "a timed restart did not make the recorded tool runs";
        };
        auto timeShell = [&] {
            const auto start = std::chrono::steady_clock::now();
            if (!runShell(script))
                problem = "the shell script did not run";
            shellTimes.push_back(millisecondsSince(start));
        };
        // Both terminate the supervised services once per run; wait for their relaunch before
        // the next, so every run starts from the same state.
        auto afterRelaunch = [&](auto&& timed) {
            timed();
            if (!supervisor.waitForRelaunch(5s))
                problem = "the supervisor did not relaunch the services";
        };
        afterRelaunch(timeCorvane);
        afterRelaunch(timeShell);
        corvaneTimes.clear();
        shellTimes.clear();
        for (int run = 0; run < runsEach && !problem; ++run) {
            if (run % 2 == 0) {
                afterRelaunch(timeCorvane);
                afterRelaunch(timeShell);
            } else {
                afterRelaunch(timeShell);
                afterRelaunch(timeCorvane);
            }
        }
    }
    if (problem)
        return fail(problem);

    const double corvane = median(corvaneTimes);
    const double shell = median(shellTimes);
    std::printf("tool runs per restart: %d, median of %d runs each, interleaved\n",
                toolRunsPerRestart, runsEach);
    std::printf("main-thread stall: longest gap between 5 ms heartbeats %.1f ms during a "
                "restart with the real 2 s wait\n",
                longestStall);
    std::printf("restart overhead: corvane %.1f ms, shell %.1f ms, ratio %.2f\n", corvane, shell,
                corvane / shell);
    return 0;
}
