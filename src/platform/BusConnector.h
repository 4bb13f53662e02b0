#pragma once

#include <QDBusConnection>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

namespace corvane {

// Connects to a D-Bus bus without holding the caller's thread. libdbus waits 25 seconds for a
// bus that accepts and then says nothing, and Qt makes every connection on its one D-Bus
// thread; so a connector first sees, on a thread of its own, whether the bus answers within
// five seconds, and only then asks Qt. A bus that does not answer is given up, and Qt's D-Bus
// thread is never left waiting for it. The bus is the one DBUS_SESSION_BUS_ADDRESS or
// DBUS_SYSTEM_BUS_ADDRESS names, read when connecting starts, else the standard one. Each
// connector makes a connection of its own, never Qt's shared one.
class BusConnector final : public QObject {
    Q_OBJECT

public:
    enum class Bus { Session, System };

    explicit BusConnector(Bus bus, QObject* parent = nullptr);

    // Starts connecting; connected() or failed() follows once. Call once.
    void connectToBus();

    // Connects on the calling thread, which it holds up to five seconds, as `name`; the
    // connection is not connected when the bus is silent or absent. For a thread of one's own,
    // never the GUI thread. Disconnect `name` when done.
    static QDBusConnection connectNow(Bus bus, const QString& name);

    // Qt's own code (its accessibility, whether the desktop has a tray) reaches the session
    // bus through Qt's shared connection on the GUI thread, from the first frame on. Sees
    // whether the session bus answers, waiting up to five seconds; when it does not, Qt's shared
    // connection is made to fail at once, and so is every connector's, and the reason is returned.
    // Call on the GUI thread before the event loop first runs.
    static QString settleSessionBus();

signals:
    void connected(const QDBusConnection& bus);
    // Why there is no bus, in words that follow a colon: "the session bus did not answer within
    // 5 seconds".
    void failed(const QString& why);

private:
    Bus bus;
    QFutureWatcher<QDBusConnection> connecting;
    QTimer limit;
};

} // namespace corvane
