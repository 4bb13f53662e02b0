#include "platform/Notifier.h"

#include "platform/BusConnector.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <optional>

namespace corvane {
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString fixAction = QStringLiteral("fix");
constexpr int answerLimit = 5000;

} // namespace

// The session bus, reached once, off the caller's thread, for every notification. A
// notification asked for meanwhile waits for it; only the latest.
class NotifierPrivate final : public QObject {
public:
    explicit NotifierPrivate(Notifier& notifier)
        : notifier(notifier) {
        connect(&connector, &BusConnector::connected, this, [this](const QDBusConnection& bus) {
            this->bus = bus;
            this->bus->connect(service, path, service, QStringLiteral("ActionInvoked"),
                               &this->notifier, SLOT(actionInvoked(uint, QString)));
            send();
        });
        connect(&connector, &BusConnector::failed, this, [this] {
            unreachable = true;
            send();
        });
    }

    ~NotifierPrivate() override {
        if (bus)
            QDBusConnection::disconnectFromBus(bus->name());
    }
    NotifierPrivate(const NotifierPrivate&) = delete;
    NotifierPrivate& operator=(const NotifierPrivate&) = delete;

    void notify(const QString& summary, const QString& body, bool offerFix) {
        waiting = {summary, body, offerFix};
        if (bus || unreachable)
            send();
        else if (!std::exchange(connecting, true))
            connector.connectToBus();
    }

private:
    struct Notification {
        QString summary;
        QString body;
        bool offerFix;
    };

    void send() {
        if (!waiting)
            return;
        const Notification next = *std::exchange(waiting, std::nullopt);
        if (!bus) {
            emit notifier.answered(false);
            return;
        }
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
        QStringList actions;
        if (next.offerFix)
            actions = {fixAction, Notifier::tr("Fix Touch Bar")};
        call << QCoreApplication::applicationName() << notifier.shown
             << QStringLiteral("com.tamberlin.corvane") << next.summary << next.body << actions
             << QVariantMap{{QStringLiteral("desktop-entry"),
                             QStringLiteral("com.tamberlin.corvane")}}
             << -1;
        auto* pending = new QDBusPendingCallWatcher(bus->asyncCall(call, answerLimit), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
            pending->deleteLater();
            const QDBusPendingReply<uint> reply = *pending;
            if (!reply.isError())
                notifier.shown = reply.value();
            emit notifier.answered(!reply.isError());
        });
    }

    Notifier& notifier;
    BusConnector connector{BusConnector::Bus::Session};
    std::optional<QDBusConnection> bus;
    std::optional<Notification> waiting;
    bool connecting = false;
    bool unreachable = false;
};

Notifier::Notifier(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<NotifierPrivate>(*this)) {}

Notifier::~Notifier() = default;

void Notifier::notify(const QString& summary, const QString& body, bool offerFix) {
    d->notify(summary, body, offerFix);
}

void Notifier::actionInvoked(uint id, const QString& action) {
    if (id == shown && action == fixAction)
        emit fixInvoked();
}

} // namespace corvane
