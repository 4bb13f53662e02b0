#include "core/Backend.h"
#include "core/ProcessControl.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace corvane;

// Copies of sleep named like each service, as this user and (as root) as another, beside copies
// named one byte longer or cut where the system cuts a process's name: the real tools and process
// table find each service by its whole name and owner, and ending it ends this user's alone.
TEST(ProcessControl, FindsAndEndsEachServiceByItsWholeNameOnly) {
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ExeOwner | QFile::ExeOther));
    struct Copy {
        QString name;
        uid_t owner;
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    };
    std::vector<Copy> copies;
    const uid_t user = ::geteuid();
    const auto start = [&](const QString& name, uid_t owner) {
        Copy& copy = copies.emplace_back(Copy{name, owner});
        QFile::copy("/bin/sleep", folder.filePath(name));
        if (owner != user)
            copy.process->setChildProcessModifier([owner] {
                if (::setgid(owner) != 0 || ::setuid(owner) != 0)
                    ::_exit(127);
            });
        copy.process->start(folder.filePath(name), {"600"});
        EXPECT_TRUE(copy.process->waitForStarted()) << name.toStdString();
    };
    const QStringList names = appleServices().processes + touchBarDaemon().processes;
    for (const QString& name : names) {
        start(name, user);
        if (user == 0)
            start(name, 65534);
        start(name + 'X', user);
        start(name.left(std::min(name.size() - 1, processNameField)), user);
    }

    SystemServices system;
    const ProcessControl control(system.services());
    for (const QString& name : names) {
        const RunningProcesses found = control.findProcesses(name).value_or(RunningProcesses());
        for (const Copy& copy : copies) {
            const bool listed = std::any_of(found.begin(), found.end(), [&](const auto& process) {
                return process.id == copy.process->processId() && process.owner == copy.owner;
            });
            EXPECT_EQ(listed, copy.name == name)
                << copy.name.toStdString() << " for " << name.toStdString();
        }
        EXPECT_EQ(control.secureKillProcess(name, found), std::nullopt) << name.toStdString();
    }
    for (const Copy& copy : copies) {
        const bool ends = names.contains(copy.name) && copy.owner == user;
        EXPECT_EQ(copy.process->waitForFinished(ends ? 2000 : 0), ends) << copy.name.toStdString();
        copy.process->kill();
        copy.process->waitForFinished();
    }
}
