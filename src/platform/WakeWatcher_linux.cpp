#include "platform/WakeWatcher.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFutureWatcher>
#include <QPromise>
#include <QTimer>

#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

namespace corvane {
namespace {

const QString logind = QStringLiteral("org.freedesktop.login1");
const QString unheard = QStringLiteral("   ⚠️ The machine waking from sleep goes unheard");
// A bus answers at once; one that accepts and then says nothing would otherwise be waited for.
constexpr std::chrono::seconds answerLimit{5};

} // namespace

// Connects to the system bus on a thread of its own, then listens for logind whenever it is
// there.
class WakeWatcherPrivate final : public QObject {
    Q_OBJECT

public:
    WakeWatcherPrivate(WakeWatcher& watcher, Log& log)
        : watcher(watcher)
        , log(log) {
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, this, [this] {
            connecting.disconnect(this);
            say(QStringLiteral(": the system bus did not answer within %1 seconds")
                    .arg(answerLimit.count()));
        });
        connect(&connecting, &QFutureWatcherBase::finished, this, [this] {
            limit.stop();
            if (!connecting.isCanceled())
                use(connecting.result());
        });
    }

    void listen() {
        static std::atomic<int> connections;
        const QString name = QStringLiteral("corvane-wake-%1").arg(++connections);
        // The address libdbus takes, read here because libdbus reads it once per process.
        const QString address = qEnvironmentVariable(
            "DBUS_SYSTEM_BUS_ADDRESS", QStringLiteral("unix:path=/var/run/dbus/system_bus_socket"));
        QPromise<QDBusConnection> promise;
        connecting.setFuture(promise.future());
        try {
            std::thread([promise = std::move(promise), address, name]() mutable {
                promise.start();
                promise.addResult(QDBusConnection::connectToBus(address, name));
                promise.finish();
            }).detach();
        } catch (const std::system_error& error) {
            say(QStringLiteral(": no thread to reach the system bus (%1)")
                    .arg(QString::fromLocal8Bit(error.code().message())));
            return;
        }
        limit.start(answerLimit);
    }

private slots:
    void prepareForSleep(bool sleeping) {
        if (sleeping)
            emit watcher.aboutToSleep();
        else
            emit watcher.woke();
    }

private:
    void say(const QString& why) { log.writeLine(unheard + why); }

    void use(const QDBusConnection& connected) {
        if (!connected.isConnected()) {
            say(QStringLiteral(": there is no system bus (") + connected.lastError().message() +
                QLatin1Char(')'));
            return;
        }
        bus = connected;
        auto* appearing =
            new QDBusServiceWatcher(logind, *bus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(appearing, &QDBusServiceWatcher::serviceRegistered, this,
                &WakeWatcherPrivate::subscribe);
        auto* present = new QDBusPendingCallWatcher(
            bus->interface()->asyncCall(QStringLiteral("NameHasOwner"), logind), this);
        connect(present, &QDBusPendingCallWatcher::finished, this, [this, present] {
            present->deleteLater();
            if (QDBusPendingReply<bool>(*present).value())
                subscribe();
            else if (!subscribed)
                say(QStringLiteral(" until logind is on the system bus"));
        });
    }

    // Only logind's own signal counts: anybody on the bus may send one of that name. Qt follows
    // the name to whichever process owns it, also after logind starts again.
    void subscribe() {
        if (subscribed)
            return;
        subscribed =
            bus->connect(logind, QStringLiteral("/org/freedesktop/login1"),
                         QStringLiteral("org.freedesktop.login1.Manager"),
                         QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
        if (!subscribed)
            say(QStringLiteral(": ") + bus->lastError().message());
    }

    WakeWatcher& watcher;
    Log& log;
    QFutureWatcher<QDBusConnection> connecting;
    QTimer limit;
    std::optional<QDBusConnection> bus;
    bool subscribed = false;
};

WakeWatcher::WakeWatcher(Log& log, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<WakeWatcherPrivate>(*this, log)) {}

WakeWatcher::~WakeWatcher() = default;

void WakeWatcher::listen() {
    d->listen();
}

} // namespace corvane

#include "WakeWatcher_linux.moc"
