#include "app/CommandLine.h"

#include "app/Application.h"
#include "app/ExitStatus.h"
#include "core/Detection.h"
#include "core/LogFormat.h"
#include "core/Report.h"
#include "core/TouchBarManager.h"
#include "core/Version.h"
#include "platform/History.h"
#include "platform/InstanceLock.h"
#include "platform/Notifier.h"
#include "platform/Observation.h"
#include "platform/Services.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace corvane {
namespace {

QByteArray statusJson(const QString& model, const TouchBarManager& manager,
                      const QList<QJsonObject>& history) {
    const Health& health = manager.health();
    QJsonArray services;
    for (const ServiceStatus& service : health.services)
        services.append(QJsonObject{{QStringLiteral("name"), service.name},
                                    {QStringLiteral("running"), service.running}});
    const QDateTime last = manager.lastRestartTime();
    QJsonObject judged{{QStringLiteral("state"), healthKey(health.state)},
                       {QStringLiteral("reason"), health.reason}};
    if (!health.hint.isEmpty())
        judged.insert(QStringLiteral("hint"), health.hint);
    QJsonArray entries;
    for (const QJsonObject& entry : history)
        entries.append(entry);
    const QJsonObject status{
        {QStringLiteral("model"), model},
        {QStringLiteral("touchBar"), manager.hasTouchBar()},
        {QStringLiteral("backend"), manager.backendKey().isEmpty()
                                        ? QJsonValue(QJsonValue::Null)
                                        : QJsonValue(manager.backendKey())},
        {QStringLiteral("health"), judged},
        {QStringLiteral("services"), services},
        {QStringLiteral("restartCount"), manager.restartCount()},
        {QStringLiteral("lastRestart"), last.isValid()
                                            ? QJsonValue(last.toUTC().toString(Qt::ISODate))
                                            : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("history"), entries},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Indented);
}

QStringList statusLines(const QString& model, const TouchBarManager& manager) {
    const Health& health = manager.health();
    QStringList services;
    for (const ServiceStatus& service : health.services)
        services << service.name + (service.running ? QStringLiteral(" running")
                                                    : QStringLiteral(" not running"));
    const QDateTime last = manager.lastRestartTime();
    const QString restarts =
        QStringLiteral("Restarts:  ") + QString::number(manager.restartCount()) +
        (last.isValid() ? QStringLiteral(", the last at ") + log::timestamp(last) : QString());
    // Without a backend there are no services to list, nor any that could be "not running".
    if (manager.backendKey().isEmpty())
        return {QStringLiteral("Touch Bar: none detected"), QStringLiteral("Model:     ") + model,
                QStringLiteral("Backend:   none: ") + health.reason, restarts};
    QStringList lines{
        QStringLiteral("Touch Bar: ") +
            (manager.hasTouchBar() ? QStringLiteral("yes") : QStringLiteral("none detected")),
        QStringLiteral("Model:     ") + model,
        QStringLiteral("Backend:   ") + manager.backendKey(),
        QStringLiteral("Health:    ") + describeHealth(health),
        QStringLiteral("Services:  ") + services.join(QStringLiteral(", ")),
        restarts,
    };
    if (!health.hint.isEmpty())
        lines << QStringLiteral("Hint:      ") + health.hint;
    return lines;
}

// An entry of the history in a few words, e.g. "fix at 2026-12-07T15:04:05Z: daemon-stopped →
// working (restart)". The file is anyone's to edit: nothing in it reaches a terminal as a control.
QString describeEntry(const QJsonObject& entry) {
    const auto text = [&](const char* key) {
        return entry.value(QLatin1String(key)).toString();
    };
    QStringList steps;
    for (const auto& step : entry.value(QLatin1String("steps")).toArray())
        steps << step.toString();
    return harmless((text("event") + QStringLiteral(" at ") + text("time") + QStringLiteral(": ") +
                     text("before") + QStringLiteral(" → ") + text("after") +
                     (steps.isEmpty() ? QString()
                                      : QStringLiteral(" (") + steps.join(QStringLiteral(", ")) +
                                            QLatin1Char(')')))
                        .toUtf8());
}

// Runs `body` with `services` whose log goes nowhere: only the answer reaches the output, not
// what the detection logs on its way.
template <typename Body> ExitStatus quietly(const Services& services, Body body) {
    QFile nowhere(QStringLiteral("/dev/null"));
    if (!nowhere.open(QIODevice::WriteOnly))
        return ExitStatus::CouldNotTell;
    Log dropped(nowhere.handle());
    return body(Services{services.tools, services.modelQuery, services.clock, dropped,
                         services.errors, services.user, services.prompt, services.root});
}

// Writes `answer` on the output; a script reading it must not take silence for it.
ExitStatus answer(const Services& services, const QByteArray& answer) {
    services.output.write(answer);
    if (services.output.flush(std::chrono::seconds(1)))
        return ExitStatus::Done;
    services.errors.writeLine(
        QStringLiteral("The answer could not be written to standard output."));
    return ExitStatus::OutputFailed;
}

ExitStatus status(const Services& services, QSettings* settings, bool json) {
    return quietly(services, [&](const Services& quiet) {
        const QString model = getModelIdentifier(quiet.modelQuery, quiet.output).trimmed();
        const std::unique_ptr<TouchBarManager> manager = makeTouchBarManager(quiet, settings);
        QEventLoop loop;
        QObject::connect(manager.get(), &TouchBarManager::healthChanged, &loop, &QEventLoop::quit);
        // One task at a time on the manager's thread: the health is read after the detection.
        manager->performFullTouchBarDetection();
        manager->checkHealth();
        loop.exec();
        const History history(History::defaultPath());
        const QList<QJsonObject> recent = history.recent(5);
        QStringList lines = statusLines(model, *manager);
        if (!recent.isEmpty())
            lines << QStringLiteral("History:   ") + describeEntry(recent.last());
        else if (!history.problem().isEmpty())
            lines << QStringLiteral("History:   not read: ") + history.problem();
        const QByteArray text = json ? statusJson(model, *manager, recent)
                                     : (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
        const ExitStatus written = answer(services, text);
        return written != ExitStatus::Done
                   ? written
                   : statusExitStatus(manager->hasTouchBar(), manager->health().state);
    });
}

// Writes `text` into `path`, replacing what was there at once or not at all. A link is not
// written through: whoever placed it, perhaps in a shared folder, chose where it leads, and the
// report may be written by root.
ExitStatus writeFile(const Services& services, const QString& path, const QByteArray& text) {
    const QFileInfo target(path);
    QString problem;
    QSaveFile file(path);
    if (target.isSymLink())
        problem = QStringLiteral("it is a link, and Corvane does not write through links");
    else if (target.exists() && !target.isFile())
        problem = QStringLiteral("it is not a plain file");
    else if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        problem = file.errorString();
    if (problem.isEmpty()) {
        services.output.writeLine(QStringLiteral("The report was written to ") + path + '.');
        return ExitStatus::Done;
    }
    services.errors.writeLine(
        QStringLiteral("The report could not be written to %1: %2.").arg(path, problem));
    return ExitStatus::OutputFailed;
}

// The report, on the output or into `path`.
ExitStatus report(const Services& services, QSettings* settings, const QString& path) {
    return quietly(services, [&](const Services& quiet) {
        const std::unique_ptr<TouchBarManager> manager = makeTouchBarManager(quiet, settings);
        QString text;
        QEventLoop loop;
        QObject::connect(manager.get(), &TouchBarManager::reportRead, &loop,
                         [&](const QString& report) {
                             text = report;
                             loop.quit();
                         });
        manager->readReport(History(History::defaultPath()).recent(reportedHistory));
        loop.exec();
        return path.isEmpty() ? answer(services, text.toUtf8())
                              : writeFile(services, path, text.toUtf8());
    });
}

// Starts a restart with `start` and waits for its outcome.
std::optional<TouchBarError> restart(TouchBarManager& manager, bool (TouchBarManager::*start)()) {
    std::optional<TouchBarError> outcome;
    QEventLoop loop;
    QObject::connect(&manager, &TouchBarManager::restartFinished, &loop,
                     [&](const std::optional<TouchBarError>& error) {
                         outcome = error;
                         loop.quit();
                     });
    if (!(manager.*start)())
        return TouchBarError::unknown(QStringLiteral("The restart could not be started."));
    loop.exec();
    return outcome;
}

// Tells `line` in a desktop notification, and waits until it was shown or refused; answers
// whether it was shown.
bool notify(const QString& summary, const QString& line) {
    Notifier notifier;
    QEventLoop loop;
    bool shown = false;
    QObject::connect(&notifier, &Notifier::answered, &loop, [&](bool answer) {
        shown = answer;
        loop.quit();
    });
    notifier.notify(summary, line, false);
    loop.exec();
    return shown;
}

// Restarts the Touch Bar; the closing line, which says how that ended, goes into `closing`.
ExitStatus fix(const Services& services, QSettings* settings, InstanceLock& lock,
               InstanceLock& restartLock, bool administrator, const QString& program,
               QString& closing) {
    const auto fail = [&](const QString& line) {
        services.errors.writeLine(line);
        closing = line;
    };
    lock.lock();
    switch (restartLock.lock()) {
    case InstanceLock::Status::HeldElsewhere:
        fail(QStringLiteral("Another restart of the Touch Bar is running (a window's, the "
                            "tray's or another fix%1), so it is not restarted twice at once: let "
                            "it end, and try again.")
                 .arg(restartLock.holder() > 0
                          ? QStringLiteral(", PID %1").arg(restartLock.holder())
                          : QString()));
        return ExitStatus::AlreadyRunning;
    case InstanceLock::Status::Unavailable:
        services.output.writeLine(
            QStringLiteral("   ⚠️ Could not check for other instances: ") +
            restartLock.problem());
        break;
    case InstanceLock::Status::Locked:
        break;
    }
    const std::unique_ptr<TouchBarManager> manager = makeTouchBarManager(services, settings);
    std::optional<TouchBarError> error = restart(*manager, &TouchBarManager::restartTouchBar);
    const bool refused = error && error->kind() == TouchBarError::Kind::PermissionDenied;
    if (refused && administrator)
        error = restart(*manager, &TouchBarManager::restartAsAdministrator);

    // The closing line comes after the log's, also where both reach one terminal.
    services.output.flush(std::chrono::seconds(1));
    if (!error) {
        closing = QStringLiteral("The Touch Bar was restarted (restart #%1).")
                      .arg(manager->restartCount());
        services.output.writeLine(closing);
    } else if (error->kind() == TouchBarError::Kind::PermissionDenied) {
        fail(error->errorDescription() +
             QStringLiteral(" An administrator is needed: run `%1 fix --admin` to be asked for "
                            "the password.")
                 .arg(program));
    } else {
        fail(error->errorDescription());
    }
    return fixExitStatus(error);
}

} // namespace

int runCommandLine(const QStringList& arguments, const Services& services, QSettings* settings,
                   InstanceLock& lock, InstanceLock& restartLock, const ShowAlert& showAlert) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Restarts a frozen Touch Bar. Without a command, opens the window."));
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("status: tell whether the Touch Bar works.\nfix: restart the Touch Bar's "
                       "services, as the window's button does.\nreport: what a bug report needs, "
                       "personal details removed.\ntray: keep Corvane in the tray "
                       "(the menu bar on macOS), "
                       "its window hidden until opened.\nhelp: show this help."),
        QStringLiteral("[status | fix | report | tray | help]"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With status: one JSON object instead of lines."));
    const QCommandLineOption administrator(
        QStringLiteral("admin"), QStringLiteral("With fix: ask for an administrator's password "
                                                "when the fix needs one, rather than stop."));
    const QCommandLineOption notification(
        QStringLiteral("notify"), QStringLiteral("With fix: also tell the outcome in a desktop "
                                                 "notification, for a fix started without a "
                                                 "terminal."));
    const QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("With report: write it into <file>, replacing the file at once, rather than "
                       "on standard output."),
        QStringLiteral("file"));
    parser.addOptions({json, administrator, notification, output});

    const QString invoked = arguments.value(0, QStringLiteral("corvane"));
    const QString program = QFileInfo(invoked).fileName();
    const auto usage = [&](const QString& problem) {
        services.errors.writeLine(program + QStringLiteral(": ") + problem);
        services.errors.writeLine(parser.helpText().section(QLatin1Char('\n'), 0, 0));
        return static_cast<int>(ExitStatus::Usage);
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());

    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0);
    // Qt's help option comes with --help-all, for the options of Qt's own, which a command line
    // without a display takes none of.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) ||
        command == QLatin1String("help")) {
        services.output.write((parser.helpText() + exitStatusHelp()).toUtf8());
        return 0;
    }
    if (parser.isSet(version)) {
        services.output.writeLine(program + QLatin1Char(' ') + applicationVersion);
        return 0;
    }
    if (words.size() > 1)
        return usage(QStringLiteral("unexpected argument '%1'").arg(words.at(1)));
    if (command == QLatin1String("tray"))
        return usage(QStringLiteral("tray takes no options"));
    if (command != QLatin1String("status") && command != QLatin1String("fix") &&
        command != QLatin1String("report"))
        return usage(command.isEmpty() ? QStringLiteral("a command is needed")
                                       : QStringLiteral("unknown command '%1'").arg(command));
    if (parser.isSet(json) && command != QLatin1String("status"))
        return usage(QStringLiteral("--json goes with status only"));
    if (parser.isSet(administrator) && command != QLatin1String("fix"))
        return usage(QStringLiteral("--admin goes with fix only"));
    if (parser.isSet(notification) && command != QLatin1String("fix"))
        return usage(QStringLiteral("--notify goes with fix only"));
    if (parser.isSet(output) && command != QLatin1String("report"))
        return usage(QStringLiteral("--output goes with report only"));
    if (parser.isSet(output) && parser.value(output).isEmpty())
        return usage(QStringLiteral("--output needs a file"));

    if (command == QLatin1String("status"))
        return static_cast<int>(status(services, settings, parser.isSet(json)));
    if (command == QLatin1String("report"))
        return static_cast<int>(report(services, settings, parser.value(output)));
    QString closing;
    const ExitStatus fixed =
        fix(services, settings, lock, restartLock, parser.isSet(administrator), invoked, closing);
    const QString summary = fixed == ExitStatus::Done ? QStringLiteral("Touch Bar fixed")
                                                      : QStringLiteral("Touch Bar not fixed");
    if (parser.isSet(notification) && !notify(summary, closing)) {
        services.output.writeLine(
            QStringLiteral("⚠️ No notification server took the outcome, so a window shows it"));
        services.output.flush(std::chrono::seconds(1));
        // The restart is over: a person who reads the alert meanwhile may fix again.
        restartLock.unlock();
        lock.unlock();
        showAlert(summary, closing, static_cast<int>(fixed));
    }
    return static_cast<int>(fixed);
}

} // namespace corvane
