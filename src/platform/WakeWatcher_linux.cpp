#include "platform/WakeWatcher.h"

#include "platform/Log.h"

#include <QDBusConnectionInterface>
#include <QDBusError>

namespace corvane {
namespace {

const QString logind = QStringLiteral("org.freedesktop.login1");

} // namespace

WakeWatcher::WakeWatcher(Log& log, QObject* parent)
    : QObject(parent)
    , log(log) {}

WakeWatcher::WakeWatcher(const QDBusConnection& bus, Log& log, QObject* parent)
    : QObject(parent)
    , bus(bus)
    , log(log) {}

WakeWatcher::~WakeWatcher() = default;

void WakeWatcher::listen() {
    if (!bus)
        bus = QDBusConnection::systemBus();
    const QString unheard =
        QStringLiteral("   ⚠️ The machine waking from sleep goes unheard: ");
    if (!bus->isConnected()) {
        log.writeLine(unheard + QStringLiteral("there is no system bus (") +
                      bus->lastError().message() + QLatin1Char(')'));
        return;
    }
    // Only logind's own signal counts: anybody on the bus may send one of that name.
    if (!bus->interface()->isServiceRegistered(logind).value()) {
        log.writeLine(unheard + QStringLiteral("logind is not on the system bus"));
        return;
    }
    if (!bus->connect(logind, QStringLiteral("/org/freedesktop/login1"),
                      QStringLiteral("org.freedesktop.login1.Manager"),
                      QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool))))
        log.writeLine(unheard + bus->lastError().message());
}

void WakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping)
        emit woke();
}

} // namespace corvane
