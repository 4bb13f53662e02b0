#include "platform/WakeWatcher.h"

#include "platform/BusConnector.h"
#include "platform/Log.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <optional>

namespace corvane {
namespace {

const QString logind = QStringLiteral("org.freedesktop.login1");
const QString unheard = QStringLiteral("   ⚠️ The machine waking from sleep goes unheard");

} // namespace

// Connects to the system bus on a thread of its own, then listens for logind whenever it is
// there.
class WakeWatcherPrivate final : public QObject {
    Q_OBJECT

public:
    WakeWatcherPrivate(WakeWatcher& watcher, Log& log)
        : watcher(watcher)
        , log(log) {
        connect(&connector, &BusConnector::connected, this, &WakeWatcherPrivate::use);
        connect(&connector, &BusConnector::failed, this,
                [this](const QString& why) { say(QStringLiteral(": ") + why); });
    }

    void listen() { connector.connectToBus(); }

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
    BusConnector connector{BusConnector::Bus::System};
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
