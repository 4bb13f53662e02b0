#include "Fakes.h"
#include "core/ProcessControl.h"
#include "core/TouchBarManager.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// A folder of copies of /bin/sleep named like the services, which is the name pgrep and pkill
// match. Linux keeps 15 characters of a process name, so only names that short can stand in.
QString standIns() {
    static QTemporaryDir folder;
    for (const char* name :
         {"TouchBarServer", "ControlStrip", "TouchBarServerX", "touchbarserver"}) {
        if (!QFile::exists(folder.filePath(name))) {
            EXPECT_TRUE(QFile::copy("/bin/sleep", folder.filePath(name))) << name;
        }
    }
    return folder.path();
}

// `script` run by /bin/sh among the stand-ins, in a process group of its own that ends, with
// all it started, when this goes. Whatever was left to this process, the first of its PID
// namespace, is reaped then.
class Background {
public:
    explicit Background(const QString& script) {
        const QByteArray command = "cd '" + standIns().toUtf8() + "' || exit\n" + script.toUtf8();
        const char* argv[] = {"/bin/sh", "-c", command.constData(), nullptr};
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawn(&group, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ);
        posix_spawnattr_destroy(&attributes);
        std::this_thread::sleep_for(100ms);
    }
    ~Background() {
        ::kill(-group, SIGKILL);
        while (::waitpid(-1, nullptr, 0) > 0) {
        }
    }

private:
    pid_t group = 0;
};

struct RealMachine {
    PosixToolRunner tools;
    fakes::FakeModelQuery modelQuery = fakes::FakeModelQuery::answering("MacBookPro16,1");
    fakes::FixedClock clock;
    fakes::CapturedLog output;
    fakes::CapturedLog errors;
    Services services{tools, modelQuery, clock, output.log, errors.log, 0};

    RealMachine() {
        clock.duringSleep = [] {
            std::this_thread::sleep_for(200ms);
        };
    }
};

long count(const char* folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

} // namespace

// The probe and the termination match the whole name, exactly, and every process of it.
TEST(RealProcesses, ProbeAndTerminationMatchEveryProcessOfTheWholeNameAndNothingElse) {
    RealMachine machine;
    const ProcessControl control(machine.services);
    const Background services("./TouchBarServer 60 & ./TouchBarServer 60 & ./ControlStrip 60 & "
                              "./TouchBarServerX 60 & ./touchbarserver 60 & wait");
    for (const QString name : {"TouchBarServer", "ControlStrip"}) {
        const RunningProcesses running = control.findProcesses(name).value_or(RunningProcesses());
        EXPECT_EQ(running.size(), name == "TouchBarServer" ? 2 : 1);
        EXPECT_FALSE(control.secureKillProcess(name, running));
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(control.checkIfProcessRunning("TouchBarServer"));
    EXPECT_FALSE(control.checkIfProcessRunning("ControlStrip"));
    EXPECT_FALSE(control.secureKillProcess("TouchBarServer", {})) << "none left is no failure";
    EXPECT_EQ(
        machine.output.lines().filter("returned"),
        (QStringList{"   pkill TouchBarServer returned: 0", "   pkill ControlStrip returned: 0",
                     "   pkill TouchBarServer returned: 1"}));
    EXPECT_EQ(::system("pgrep -x TouchBarServerX >/dev/null && pgrep -x touchbarserver >/dev/null"),
              0)
        << "a longer or lower-case name ended";
}

// A restart is a new process: one that ignores the request to quit, or one that ended but whose
// parent never reaped it, is not a restarted service.
TEST(RealProcesses, AServiceThatIgnoredItsEndOrWasNeverReapedDidNotRestart) {
    const std::pair<QString, QString> cases[] = {
        {"trap '' TERM; exec ./TouchBarServer 60",
         "Failed to restart TouchBarServer: the same process (PID %1) is still running after "
         "being asked to quit"},
        {"./TouchBarServer 60 & exec ./ControlStrip 60", "Failed to restart Touch Bar service"},
    };
    for (const auto& [script, expected] : cases) {
        RealMachine machine;
        const Background service(script);
        const qint64 id =
            ProcessControl(machine.services).findProcesses("TouchBarServer")->value(0).id;
        const RestartReport report =
            restartTouchBarServices(machine.services, TouchBarServices::AppleProcesses, 0);
        ASSERT_TRUE(report.error);
        EXPECT_EQ(report.error->errorDescription(), expected.arg(id));
        EXPECT_FALSE(machine.output.text().contains("COMPLETED SUCCESSFULLY"));
    }
}

// Thirty restarts through the manager against services a shell relaunches, as the system
// would: each counted into the settings, no child left unreaped, no descriptor or thread kept.
TEST(RealProcesses, RestartAfterRestartLeavesNothingBehind) {
    RealMachine machine;
    const Background supervisor("while :; do ./TouchBarServer 60; done & "
                                "while :; do ./ControlStrip 60; done & wait");
    QTemporaryDir folder;
    QSettings settings(folder.filePath("com.tamberlin.corvane.conf"), QSettings::IniFormat);
    TouchBarManager manager(machine.services, TouchBarServices::AppleProcesses, &settings);
    const auto restart = [&] {
        QSignalSpy finished(&manager, &TouchBarManager::restartFinished);
        return manager.restartTouchBar() && finished.wait(10000) &&
               !finished.at(0).at(0).value<std::optional<TouchBarError>>();
    };
    ASSERT_TRUE(restart()) << machine.output.text().toStdString();
    const long descriptors = count("/proc/self/fd"), threads = count("/proc/self/task");
    for (int round = 1; round < 30; ++round)
        ASSERT_TRUE(restart()) << round;
    EXPECT_EQ(count("/proc/self/fd"), descriptors);
    EXPECT_LE(count("/proc/self/task"), threads);
    EXPECT_LE(::waitpid(-1, nullptr, WNOHANG), 0) << "a child ended and was never reaped";
    EXPECT_EQ(QSettings(settings.fileName(), QSettings::IniFormat).value("TouchBarRestartCount"),
              "30");
}
