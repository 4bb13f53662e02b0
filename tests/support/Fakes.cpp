#include "Fakes.h"

namespace corvane::fakes {

ToolOutcome FakeSystem::run(const QString& program, const QStringList& arguments,
                            std::chrono::milliseconds) {
    if (transcript)
        transcript->writeLine("$ " + (QStringList{program} + arguments).join(' '));
    const QString subject = arguments.value(arguments.size() - 1);
    for (const QString& run : {program + ' ' + subject, program + " *"}) {
        if (const auto answer = answers.find(run); answer != answers.end())
            return answer->second;
    }
    ToolOutcome outcome = exited(1);
    // The administrator's prompt, granted: it runs what it was given.
    if (program == "/usr/bin/pkexec")
        return run(arguments.value(0), arguments.mid(1), {});

    const QString name = program == "/usr/bin/systemctl" ? "tiny-dfr" : subject;
    for (const Process& process : processes) {
        if (program == "/usr/bin/pgrep" && process.name == name)
            outcome.standardOutput += QByteArray::number(process.id) + '\n';
        else if (program == "/bin/ps" && subject.split(',').contains(QString::number(process.id)))
            outcome.standardOutput += QStringLiteral("%1 %2 %3\n")
                                          .arg(process.id, 6)
                                          .arg(process.owner, 5)
                                          .arg(process.zombie ? "Z" : "Ss")
                                          .toUtf8();
    }
    if (program == "/usr/bin/pgrep" || program == "/bin/ps")
        outcome.exitStatus = outcome.standardOutput.isEmpty() ? 1 : 0;
    if (program == "/usr/bin/defaults")
        outcome.exitStatus = domains.removeAll(subject) > 0 ? 0 : 1;
    if (program == "/usr/bin/pkill" || program == "/usr/bin/killall" ||
        program == "/usr/bin/systemctl") {
        // pkill signals a zombie too, which has ended already and stays until it is reaped.
        outcome.exitStatus = name == "tiny-dfr" || named(name) ? 0 : 1;
        processes.removeIf(
            [&](const Process& process) { return process.name == name && !process.zombie; });
        if (relaunched.contains(name))
            start({name});
    }
    return outcome;
}

} // namespace corvane::fakes
