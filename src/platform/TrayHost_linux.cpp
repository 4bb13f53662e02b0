#include "platform/TrayHost.h"

#include "platform/BusConnector.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace corvane {
namespace {

const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

void TrayHost::find() {
    auto* connector = new BusConnector(BusConnector::Bus::Session, this);
    connect(connector, &BusConnector::failed, this, [this] { answer(false); });
    connect(connector, &BusConnector::connected, this, [this](const QDBusConnection& bus) {
        // Only the wait needs it; the icon makes a connection of Qt's own.
        connect(this, &QObject::destroyed,
                [name = bus.name()] { QDBusConnection::disconnectFromBus(name); });
        auto* appearing = new QDBusServiceWatcher(watcherName, bus,
                                                  QDBusServiceWatcher::WatchForRegistration, this);
        connect(appearing, &QDBusServiceWatcher::serviceRegistered, this, [this] { answer(true); });
        auto* present = new QDBusPendingCallWatcher(
            bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), watcherName), this);
        connect(present, &QDBusPendingCallWatcher::finished, this, [this, present] {
            present->deleteLater();
            if (QDBusPendingReply<bool>(*present).value())
                answer(true);
        });
    });
    connector->connectToBus();
    QTimer::singleShot(limit, this, [this] { answer(false); });
}

} // namespace corvane
