#include "app/Application.h"

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "core/Backend.h"
#include "core/TouchBarManager.h"
#include "core/Version.h"
#include "platform/History.h"
#include "platform/InstanceLock.h"
#include "platform/Services.h"
#include "ui/Alerts.h"

#include <QApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QMessageBox>
#include <QMetaObject>
#include <QSysInfo>
#include <QThreadPool>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#ifndef __APPLE__
#include "platform/BusConnector.h"
#endif

namespace corvane {
namespace {

struct HeldBack {
    QtMsgType type;
    const char* category;
    QString message;
};

// What Qt says while it makes the application object, held back until it is known whether it
// found a display.
std::vector<HeldBack> heldBack;
QtMessageHandler previousHandler = nullptr;
// What the process ends with when Qt finds no display: the command line's own status once it
// has one.
int statusWithoutDisplay = 1;

void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // Without a display Qt ends the process with a fatal error, advising to reinstall.
    if (type == QtFatalMsg) {
        std::fputs("corvane: no display could be opened: set DISPLAY or WAYLAND_DISPLAY to a "
                   "running display server\n",
                   stderr);
        std::_Exit(statusWithoutDisplay);
    }
    heldBack.push_back({type, context.category, message});
}

// Ends the process when the system refuses it a thread, saying why; the instance lock goes
// with it.
[[noreturn]] void refused(const QString& why) {
    std::fprintf(stderr,
                 "corvane: the system refused a thread (%s): too many processes are running for "
                 "this user. Nothing was started; end some and try again.\n",
                 qUtf8Printable(why));
    std::_Exit(static_cast<int>(ExitStatus::SystemRefused));
}

// Qt tells of a thread it could not start only in a message, "... error (reason)", and the work
// given to it then never runs: the command line would wait for it for good.
void endWithoutThread(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QLatin1String failed("QThread::start: Thread creation error (");
    if (message.startsWith(failed) && message.endsWith(QLatin1Char(')')))
        refused(message.mid(failed.size()).chopped(1));
    previousHandler(type, context, message);
}

// Adds `event` at this moment to the history. The history is a record: a write it refuses
// changes nothing about what happened.
void record(const Services& services, QJsonObject event) {
    event.insert(QStringLiteral("time"), services.clock.now().toUTC().toString(Qt::ISODate));
    event.insert(QStringLiteral("kernel"), QSysInfo::kernelVersion());
    History history(History::defaultPath());
    if (!history.append(event))
        services.output.writeLine(QStringLiteral("⚠️ The %1 was not added to the history: ")
                                      .arg(event.value(QLatin1String("event")).toString()) +
                                  history.problem());
}

} // namespace

Application::Startup::Startup() {
    // A descriptor we were started without would be taken by the next file we open, and our
    // log lines would go into it: the display's socket, say, or the instance lock.
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(descriptor, F_GETFD) < 0 && errno == EBADF)
            ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    // Log lines go to standard output with write(2); a reader that went away must not end us,
    // nor a terminal that stops the background jobs writing to it (stty tostop).
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
    // Inherited from a parent that ignores it, an ignored SIGCHLD has the system reap every
    // tool before we can learn how it ended.
    std::signal(SIGCHLD, SIG_DFL);
    previousHandler = qInstallMessageHandler(holdBack);
}

Application::Face Application::faceFor(int argc, char** argv) {
    if (argc == 1)
        return Face::Window;
    return argc == 2 && std::strcmp(argv[1], "tray") == 0 ? Face::Tray : Face::CommandLine;
}

Application::Application(int& argc, char** argv, Face face)
    : face(face)
    , argc(argc)
    , argv(argv)
    , application(face == Face::CommandLine ? std::make_unique<QCoreApplication>(argc, argv)
                                            : std::make_unique<QApplication>(argc, argv)) {
    tellHeldBack();
    QCoreApplication::setApplicationName(applicationName);
    QCoreApplication::setApplicationVersion(applicationVersion);
    QCoreApplication::setOrganizationDomain(organizationDomain);

    // Qt's painting scales large images in pieces on its global thread pool and waits for them;
    // a piece given to a thread that could not be started, near the process limit, is never done
    // and the window freezes. One thread, started now and kept, serves every piece instead.
    if (face == Face::CommandLine)
        return;
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(1);
    pool->start([] {});
}

void Application::tellHeldBack() {
    qInstallMessageHandler(face == Face::CommandLine ? endWithoutThread : previousHandler);
    for (const HeldBack& message : heldBack)
        previousHandler(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category),
                        message.message);
    heldBack.clear();
}

void Application::showAlert(const QString& title, const QString& text, int status) {
    statusWithoutDisplay = status;
    application.reset();
    qInstallMessageHandler(holdBack);
    application = std::make_unique<QApplication>(argc, argv);
    tellHeldBack();
#ifndef __APPLE__
    BusConnector::settleSessionBus();
#endif
    QMessageBox* alert = ui::openAlert(nullptr, title, text, QObject::tr("OK"));
    QEventLoop loop;
    QObject::connect(alert, &QMessageBox::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

void Application::run() {
    endToolsWhenEnded();
    try {
        runFace();
    } catch (const std::system_error& error) {
        refused(QString::fromLocal8Bit(error.code().message()));
    }
}

void Application::runFace() {
    SystemServices system;
    InstanceLock lock(bundleIdentifier + QStringLiteral(".lock"), instanceLockFolders());
    // Held only while a restart runs, so that a copy in the tray all day locks no fix out.
    InstanceLock restartLock(bundleIdentifier + QStringLiteral(".restart.lock"),
                             instanceLockFolders());
    const std::unique_ptr<QSettings> settings = openSettings();
    if (face == Face::CommandLine) {
        const int status = runCommandLine(QCoreApplication::arguments(), system.services(),
                                          settings.get(), lock, restartLock,
                                          [this](const QString& title, const QString& text,
                                                 int fixed) { showAlert(title, text, fixed); });
        // What a reader does not take within a second is not waited for.
        system.output().flush(std::chrono::seconds(1));
        system.services().errors.flush(std::chrono::seconds(1));
        std::_Exit(status);
    }
#ifndef __APPLE__
    const QString silent = BusConnector::settleSessionBus();
    if (!silent.isEmpty())
        system.output().writeLine(
            QStringLiteral("⚠️ Neither a tray nor notifications can be reached: ") + silent);
#endif
    AppDelegate delegate(system.services(), settings.get(), lock, restartLock, face == Face::Tray);
    QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    const int status = QApplication::exec();

    // A restart may still run on a background thread, blocked in a tool or the wait. Returning
    // would destroy the services under it while it can still wake and use them, and the manager
    // would wait for it; so the process ends here, at once. Nothing is lost: the restart count
    // is saved the moment it changes, and the system drops the instance lock. The last lines
    // get a moment to reach a reader that is still there.
    system.output().flush(std::chrono::milliseconds(100));
    std::_Exit(status);
}

std::unique_ptr<TouchBarManager> makeTouchBarManager(const Services& services,
                                                     QSettings* settings) {
    auto manager = std::make_unique<TouchBarManager>(services, systemBackend(), settings);
    // Every fix ends here, the window's, the tray's and the command line's alike.
    QObject::connect(
        manager.get(), &TouchBarManager::restartFinished, manager.get(),
        [services, &fixed = *manager] {
            record(services,
                   {{QStringLiteral("event"), QStringLiteral("fix")},
                    {QStringLiteral("before"), healthKey(fixed.healthBeforeRestart().state)},
                    {QStringLiteral("steps"), QJsonArray::fromStringList(fixed.restartSteps())},
                    {QStringLiteral("after"), healthKey(fixed.health().state)}});
        });
    return manager;
}

void recordWake(const Services& services, HealthState before, const Health& after,
                std::optional<std::chrono::seconds> slept) {
    QJsonObject wake{{QStringLiteral("event"), QStringLiteral("wake")},
                     {QStringLiteral("before"), healthKey(before)},
                     {QStringLiteral("steps"), QJsonArray()},
                     {QStringLiteral("after"), healthKey(after.state)}};
    if (slept)
        wake.insert(QStringLiteral("sleptSeconds"), static_cast<qint64>(slept->count()));
    record(services, wake);
}

} // namespace corvane
