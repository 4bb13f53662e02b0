#include "Fakes.h"

namespace corvane::fakes {

ToolOutcome FakeSystem::run(const QString& program, const QStringList& arguments,
                            std::chrono::milliseconds) {
    if (transcript)
        transcript->writeLine("$ " + (QStringList{program} + arguments).join(' '));
    const QString subject = arguments.value(arguments.size() - 1);
    if (missing.contains(program))
        return notLaunched();
    if (hanging.contains(program)) {
        ToolOutcome hung;
        hung.timedOut = true;
        return hung;
    }
    if (const auto answer = answers.find(program + ' ' + subject); answer != answers.end())
        return answer->second;
    // The administrator's prompt, granted: it runs what it was given.
    if (program == "/usr/bin/pkexec")
        return run(arguments.value(0), arguments.mid(1), {});

    const auto named = [&](const QString& name) {
        QList<Process*> found;
        for (Process& process : processes)
            if (process.name == name)
                found << &process;
        return found;
    };
    if (program == "/usr/bin/pgrep") {
        QByteArray ids;
        for (const Process* process : named(subject))
            ids += QByteArray::number(process->id) + '\n';
        return exited(ids.isEmpty() ? 1 : 0, {}, ids);
    }
    if (program == "/bin/ps") {
        QByteArray states;
        for (const Process& process : processes)
            if (subject.split(',').contains(QString::number(process.id)))
                states += QStringLiteral("%1 %2 %3\n")
                              .arg(process.id, 6)
                              .arg(process.owner, 5)
                              .arg(process.zombie ? "Z" : "Ss")
                              .toUtf8();
        return exited(states.isEmpty() ? 1 : 0, {}, states);
    }
    const QString name = program == "/usr/bin/systemctl" ? "tiny-dfr" : subject;
    if (program == "/usr/bin/pkill" || program == "/usr/bin/killall" ||
        program == "/usr/bin/systemctl") {
        // A zombie has ended already; pkill still signals it.
        const bool found = !named(name).isEmpty();
        processes.removeIf(
            [&](const Process& process) { return process.name == name && !process.zombie; });
        if (relaunched.contains(name))
            start({name});
        return exited(found || program == "/usr/bin/systemctl" ? 0 : 1);
    }
    if (program == "/usr/bin/defaults")
        return exited(domains.removeAll(subject) > 0 ? 0 : 1);
    return notLaunched();
}

} // namespace corvane::fakes
