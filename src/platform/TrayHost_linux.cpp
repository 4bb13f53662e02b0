#include "platform/TrayHost.h"

#include <QDBusConnection>
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
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answer(false);
        return;
    }
    auto* appearing =
        new QDBusServiceWatcher(watcherName, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(appearing, &QDBusServiceWatcher::serviceRegistered, this, [this] { answer(true); });
    auto* present = new QDBusPendingCallWatcher(
        bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), watcherName), this);
    connect(present, &QDBusPendingCallWatcher::finished, this, [this, present] {
        present->deleteLater();
        if (QDBusPendingReply<bool>(*present).value())
            answer(true);
    });
    QTimer::singleShot(limit, this, [this] { answer(false); });
}

} // namespace corvane
