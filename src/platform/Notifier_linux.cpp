#include "platform/Notifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace corvane {
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString fixAction = QStringLiteral("fix");
constexpr int answerLimit = 5000;

} // namespace

Notifier::Notifier(QObject* parent)
    : QObject(parent) {
    QDBusConnection::sessionBus().connect(service, path, service, QStringLiteral("ActionInvoked"),
                                          this, SLOT(actionInvoked(uint, QString)));
}

void Notifier::notify(const QString& summary, const QString& body, bool offerFix) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const QStringList actions =
        offerFix ? QStringList{fixAction, tr("Fix Touch Bar")} : QStringList{};
    call << QCoreApplication::applicationName() << shown << QStringLiteral("com.tamberlin.corvane")
         << summary << body << actions
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("com.tamberlin.corvane")}}
         << -1;
    auto* pending = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, answerLimit), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
        pending->deleteLater();
        const QDBusPendingReply<uint> reply = *pending;
        if (!reply.isError())
            shown = reply.value();
        emit answered(!reply.isError());
    });
}

void Notifier::actionInvoked(uint id, const QString& action) {
    if (id == shown && action == fixAction)
        emit fixInvoked();
}

} // namespace corvane
