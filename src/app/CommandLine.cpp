#include "app/CommandLine.h"

#include "app/Application.h"
#include "core/Detection.h"
#include "core/LogFormat.h"
#include "core/TouchBarManager.h"
#include "core/Version.h"
#include "platform/InstanceLock.h"
#include "platform/Services.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvane {
namespace {

// sysexits.h's EX_USAGE, as command-line tools answer arguments they do not take.
constexpr int usageStatus = 64;
constexpr int alreadyRunningStatus = 6;

const QString helpText = QStringLiteral(R"(Usage: %1 [COMMAND] [OPTION]

Restarts a frozen Touch Bar. Without a command, opens the window.

Commands:
  status [--json]  Tell whether the Touch Bar works
  fix [--admin]    Restart the Touch Bar's services, as the window's button does
  help             Show this help

Options:
  --json           With status: print one JSON object instead of lines
  --admin          With fix: ask for an administrator's password when the Touch Bar's
                   services belong to the system, rather than stop
  -h, --help       Show this help
  -v, --version    Show the version

Exit status:
  status  0 working, 1 not working, 2 no Touch Bar, 3 could not tell
  fix     0 restarted and counted, 1 failed, 2 no Touch Bar, 4 an administrator is needed,
          5 the administrator's prompt was declined or could not be shown,
          6 Corvane is already running (a window, or another fix)
  64      the arguments were not understood
)");

// The exit status of a fix that ended in `error`.
int exitStatusFor(const std::optional<TouchBarError>& error) {
    if (!error)
        return 0;
    switch (error->kind()) {
    case TouchBarError::Kind::NoTouchBar:
        return 2;
    case TouchBarError::Kind::PermissionDenied:
        return 4;
    case TouchBarError::Kind::AdministratorDeclined:
    case TouchBarError::Kind::PromptUnavailable:
        return 5;
    default:
        return 1;
    }
}

int statusOf(const TouchBarManager& manager) {
    const Health& health = manager.health();
    if (!manager.hasTouchBar() || health.state == HealthState::HardwareMissing)
        return 2;
    if (health.isWorking())
        return 0;
    return health.state == HealthState::Unknown || health.state == HealthState::JournalUnread ? 3
                                                                                              : 1;
}

QByteArray statusJson(const QString& model, const TouchBarManager& manager) {
    const Health& health = manager.health();
    QJsonArray services;
    for (const ServiceStatus& service : health.services)
        services.append(QJsonObject{{QStringLiteral("name"), service.name},
                                    {QStringLiteral("running"), service.running}});
    const QDateTime last = manager.lastRestartTime();
    const QJsonObject status{
        {QStringLiteral("model"), model},
        {QStringLiteral("touchBar"), manager.hasTouchBar()},
        {QStringLiteral("backend"), manager.backendKey().isEmpty()
                                        ? QJsonValue(QJsonValue::Null)
                                        : QJsonValue(manager.backendKey())},
        {QStringLiteral("health"), QJsonObject{{QStringLiteral("state"), healthKey(health.state)},
                                               {QStringLiteral("reason"), health.reason},
                                               {QStringLiteral("hint"), health.hint}}},
        {QStringLiteral("services"), services},
        {QStringLiteral("restartCount"), manager.restartCount()},
        {QStringLiteral("lastRestart"), last.isValid()
                                            ? QJsonValue(last.toUTC().toString(Qt::ISODate))
                                            : QJsonValue(QJsonValue::Null)},
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

int status(const Services& services, QSettings* settings, bool json) {
    // Only the answer reaches the output: what the detection logs on its way is dropped.
    QFile nowhere(QStringLiteral("/dev/null"));
    if (!nowhere.open(QIODevice::WriteOnly))
        return 3;
    Log dropped(nowhere.handle());
    const Services quiet{services.tools, services.modelQuery, services.clock,
                         dropped,        services.errors,     services.user};
    const QString model = getModelIdentifier(quiet.modelQuery, dropped).trimmed();
    const std::unique_ptr<TouchBarManager> manager = makeTouchBarManager(quiet, settings);
    QEventLoop loop;
    QObject::connect(manager.get(), &TouchBarManager::healthChanged, &loop, &QEventLoop::quit);
    // One task at a time on the manager's thread: the health is read after the detection.
    manager->performFullTouchBarDetection();
    manager->checkHealth();
    loop.exec();
    if (json)
        services.output.write(statusJson(model, *manager));
    else
        for (const QString& line : statusLines(model, *manager))
            services.output.writeLine(line);
    return statusOf(*manager);
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

int fix(const Services& services, QSettings* settings, InstanceLock& lock, bool administrator,
        const QString& program) {
    switch (lock.lock()) {
    case InstanceLock::Status::HeldElsewhere:
        services.errors.writeLine(
            QStringLiteral("Corvane is already running (a window, or another fix%1), so the "
                           "Touch Bar is not restarted twice at once: quit it, or let its fix "
                           "end, and try again.")
                .arg(lock.holder() > 0 ? QStringLiteral(", PID %1").arg(lock.holder())
                                       : QString()));
        return alreadyRunningStatus;
    case InstanceLock::Status::Unavailable:
        services.output.writeLine(
            QStringLiteral("   ⚠️ Could not check for other instances: ") + lock.problem());
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
        services.output.writeLine(QStringLiteral("The Touch Bar was restarted (restart #%1).")
                                      .arg(manager->restartCount()));
    } else if (error->kind() == TouchBarError::Kind::PermissionDenied) {
        services.errors.writeLine(error->errorDescription() +
                                  QStringLiteral(" An administrator is needed: run `%1 fix "
                                                 "--admin` to be asked for the password.")
                                      .arg(program));
    } else {
        services.errors.writeLine(error->errorDescription());
    }
    return exitStatusFor(error);
}

int usage(const Services& services, const QString& program, const QString& problem) {
    services.errors.writeLine(program + QStringLiteral(": ") + problem);
    services.errors.writeLine(QStringLiteral("Usage: %1 [status [--json] | fix [--admin] | "
                                             "help | --help | --version]")
                                  .arg(program));
    return usageStatus;
}

} // namespace

int runCommandLine(const QStringList& arguments, const Services& services, QSettings* settings,
                   InstanceLock& lock) {
    const QString invoked = arguments.value(0, QStringLiteral("corvane"));
    const QString program = QFileInfo(invoked).fileName();
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption administrator(QStringLiteral("admin"));
    parser.addOptions({json, administrator});
    if (!parser.parse(arguments))
        return usage(services, program, parser.errorText());

    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0);
    if (parser.isSet(help) || command == QLatin1String("help")) {
        services.output.write(helpText.arg(program).toUtf8());
        return 0;
    }
    if (parser.isSet(version)) {
        services.output.writeLine(program + QLatin1Char(' ') + applicationVersion);
        return 0;
    }
    if (words.size() > 1)
        return usage(services, program,
                     QStringLiteral("unexpected argument '%1'").arg(words.at(1)));
    if (command != QLatin1String("status") && command != QLatin1String("fix"))
        return usage(services, program,
                     command.isEmpty() ? QStringLiteral("a command is needed")
                                       : QStringLiteral("unknown command '%1'").arg(command));
    if (parser.isSet(json) && command != QLatin1String("status"))
        return usage(services, program, QStringLiteral("--json goes with status only"));
    if (parser.isSet(administrator) && command != QLatin1String("fix"))
        return usage(services, program, QStringLiteral("--admin goes with fix only"));

    if (command == QLatin1String("status"))
        return status(services, settings, parser.isSet(json));
    return fix(services, settings, lock, parser.isSet(administrator), invoked);
}

} // namespace corvane
