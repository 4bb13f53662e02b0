#include "core/Processes.h"
#include "core/Backend.h"
#include "platform/ToolRunner.h"

#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace corvane;

// Copies of sleep named like each service, beside copies named one byte longer or cut where the
// system cuts a process's name: the real tools and the process table find each service by its
// whole name only, and ending it ends its copies alone; a copy that ended unreaped is not
// running. (e2e-administrator adds another user's.)
TEST(Processes, FindsAndEndsEachServiceByItsWholeNameOnly) {
    QTemporaryDir folder;
    std::vector<std::pair<QString, pid_t>> copies;
    std::vector<std::pair<QString, pid_t>> zombies;
    const QStringList names = appleServices().processes + touchBarDaemon().processes;
    for (const QString& name : names) {
        for (const QString& copy :
             {name, name + 'X', name.left(std::min(name.size() - 1, processNameField))}) {
            QByteArray program = QFile::encodeName(folder.filePath(copy));
            QFile::copy("/bin/sleep", folder.filePath(copy));
            char* arguments[] = {program.data(), const_cast<char*>("600"), nullptr};
            pid_t id = 0;
            EXPECT_EQ(::posix_spawn(&id, arguments[0], nullptr, nullptr, arguments, environ), 0);
            copies.emplace_back(copy, id);
        }
        // One that ended and is not reaped yet: not running, to either way of looking.
        QByteArray program = QFile::encodeName(folder.filePath(name));
        char* arguments[] = {program.data(), const_cast<char*>("0"), nullptr};
        pid_t id = 0;
        siginfo_t ended{};
        EXPECT_EQ(::posix_spawn(&id, arguments[0], nullptr, nullptr, arguments, environ), 0);
        EXPECT_EQ(::waitid(P_PID, id, &ended, WEXITED | WNOWAIT), 0);
        zombies.emplace_back(name, id);
    }

    SystemServices system;
    const Services services = system.services();
    const ToolSession tools(services);
    // pgrep and ps, then the process table read in-process: both must see the same.
    const Processes control(tools, appleServices());
    const Processes table(tools, touchBarDaemon());
    for (const QString& name : names) {
        RunningProcesses found;
        for (const Processes* lookup : {&table, &control}) {
            found = lookup->find(name).value_or(RunningProcesses());
            for (const auto& [copy, id] : copies) {
                const bool listed =
                    std::any_of(found.begin(), found.end(), [&, spawned = id](const auto& process) {
                        return process.id == spawned && process.owner == services.user;
                    });
                EXPECT_EQ(listed, copy == name)
                    << copy.toStdString() << " for " << name.toStdString()
                    << (lookup == &table ? " in the table" : " by pgrep");
            }
            for (const auto& [zombie, id] : zombies)
                EXPECT_TRUE(std::none_of(
                    found.begin(), found.end(),
                    [spawned = id](const auto& process) { return process.id == spawned; }))
                    << "the unreaped " << zombie.toStdString();
        }
        EXPECT_EQ(control.terminate(name, found), std::nullopt) << name.toStdString();
    }
    for (const auto& [copy, id] : copies) {
        pid_t ended = 0;
        for (int tries = 0; tries < (names.contains(copy) ? 200 : 1) && ended == 0; ++tries)
            if ((ended = ::waitpid(id, nullptr, WNOHANG)) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(ended == id, names.contains(copy)) << copy.toStdString();
        ::kill(id, SIGKILL);
        ::waitpid(id, nullptr, 0);
    }
    for (const auto& [zombie, id] : zombies)
        ::waitpid(id, nullptr, 0);
}

// Processes that end while the table is read, thousands of them: one that is gone between its
// listing and the reading of its files is skipped, never a reason to give up the whole look.
TEST(Processes, ProcessesEndingDuringTheLookAreSkipped) {
    std::array<pid_t, 2> churns{};
    for (pid_t& churn : churns) {
        churn = ::fork();
        while (churn == 0) // forks children that end at once, and reaps them
            ::fork() == 0 ? ::_exit(0) : static_cast<void>(::wait(nullptr));
    }
    int failed = 0;
    for (int look = 0; look < 3000; ++look)
        failed += PosixToolRunner().processesNamed("TouchBarServer") ? 0 : 1;
    for (const pid_t churn : churns)
        ::kill(churn, SIGKILL);
    EXPECT_EQ(failed, 0);
}
