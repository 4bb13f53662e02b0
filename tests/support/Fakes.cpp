#include "Fakes.h"

#include <algorithm>

namespace corvane::fakes {

void FakeSystem::makeT2(bool drivers, bool hardware) {
    if (root.isEmpty())
        qFatal("a made-up /sys needs a folder of its own");
    const QString sys = root + "/sys/";
    QDir(sys).removeRecursively();
    QDir().mkpath(sys + "bus/usb/devices/1-0:1.0");
    for (const auto& [device, product] : {std::pair{"1-1", "8302"}, {"1-2", "8102"}}) {
        writeFile(sys + "bus/usb/devices/" + device + "/idVendor", hardware ? "05ac\n" : "1d6b\n");
        writeFile(sys + "bus/usb/devices/" + device + "/idProduct", QByteArray(product) + '\n');
    }
    QDir().mkpath(sys + "class/drm/card0/device");
    QFile::link("../../../bus/pci/drivers/i915", sys + "class/drm/card0/device/driver");
    if (!drivers)
        return;
    QDir().mkpath(sys + "class/drm/card1/device");
    QFile::link("../../../bus/usb/drivers/appletbdrm", sys + "class/drm/card1/device/driver");
    QDir().mkpath(sys + "class/backlight/appletb_backlight");
}

bool FakeSystem::terminate(const QString& name, std::optional<uid_t> owner) {
    bool matched = false;
    processes.removeIf([&](const Process& process) {
        // pkill signals a zombie too, which has ended already and stays until it is reaped.
        const bool signalled = process.name == name && (!owner || process.owner == *owner);
        matched |= signalled;
        return signalled && !process.zombie;
    });
    if (matched && relaunched.contains(name))
        start({name});
    return matched;
}

// The privileged helper's verbs, as their tool runs would leave the machine.
ToolOutcome FakeSystem::runHelper(const QString& verb) {
    if (verb == "stop-services") {
        for (const char* name : {"TouchBarServer", "NowPlayingTouchUI", "ControlStrip",
                                 "TouchBarAgent", "TouchBarUserDevice", "DFRFoundation"})
            terminate(name, 0);
        return exited(0);
    }
    if (verb == "reload-drivers" || verb == "reselect-display")
        makeT2(true);
    if (verb == "reset-daemon" || verb == "reload-drivers" || verb == "reselect-display")
        unitState = "active";
    if (unitState == "failed")
        return exited(1, "corvane-touchbar-helper: systemctl restart tiny-dfr.service: failed\n");
    terminate("tiny-dfr", 0);
    return exited(0);
}

ToolOutcome FakeSystem::run(const QString& program, const QStringList& arguments,
                            std::chrono::milliseconds) {
    if (transcript)
        transcript->writeLine("$ " + (QStringList{program} + arguments).join(' '));
    const QString subject = arguments.value(arguments.size() - 1);
    for (const QString& run : {program + ' ' + subject, program + " *"}) {
        if (const auto answer = answers.find(run); answer != answers.end())
            return answer->second;
    }
    // The administrator's prompt, granted: it runs what it was given.
    if (program == "/usr/bin/pkexec")
        return runHelper(subject);

    if (program == "/usr/bin/journalctl") {
        ToolOutcome lines = exited(0);
        // Newest first, as Corvane asks with --reverse.
        QByteArrayList written = (arguments.contains("-k") ? kernelLines : daemonLines).split('\n');
        std::reverse(written.begin(), written.end());
        lines.standardOutput = written.join('\n');
        return lines;
    }
    ToolOutcome outcome = exited(1);
    for (const Process& process : processes) {
        if (program == "/usr/bin/pgrep" && process.name == subject)
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
    if (program == "/bin/kill")
        outcome.exitStatus = processes.removeIf([&](const Process& process) {
            return arguments.contains(QString::number(process.id)) && !process.zombie;
        }) > 0
                                 ? 0
                                 : 1;
    if (program == "/usr/bin/killall")
        outcome.exitStatus = terminate(subject) ? 0 : 1;
    if (program == "/usr/bin/pkill") {
        std::optional<uid_t> owner;
        if (arguments.contains("-U"))
            owner = arguments.value(arguments.indexOf("-U") + 1).toUInt();
        outcome.exitStatus = terminate(subject, owner) ? 0 : 1;
    }
    if (program == "/usr/bin/systemctl" && arguments.first() == "show") {
        outcome.exitStatus = 0;
        const auto daemon = std::find_if(processes.begin(), processes.end(), [](const auto& p) {
            return p.name == "tiny-dfr" && p.owner == 0;
        });
        outcome.standardOutput =
            QStringLiteral("LoadState=loaded\nActiveState=%1\nSubState=%2\n"
                           "Result=%3\nMainPID=%4\nInvocationID=%5\n")
                .arg(unitState, unitState == "active" ? "running" : "dead", unitResult)
                .arg(daemon == processes.end() ? 0 : daemon->id)
                .arg(daemon == processes.end() ? 0 : daemon->id, 32, 10, QChar('0'))
                .toUtf8();
        return outcome;
    }
    if (program == "/usr/bin/systemctl") {
        if (unitState == "failed")
            return exited(1, "Job for tiny-dfr.service failed.\n");
        terminate("tiny-dfr", 0);
        outcome.exitStatus = 0;
    }
    return outcome;
}

std::optional<RunningProcesses> FakeSystem::processesNamed(const QString& name) {
    const ToolOutcome answer = run("<process table>", {name}, {});
    if (!answer.launched())
        return std::nullopt;
    RunningProcesses found;
    for (const Process& process : processes) {
        if (process.name == name && !process.zombie)
            found << RunningProcess{process.id, process.owner};
    }
    return found;
}

} // namespace corvane::fakes
