#include "platform/BusConnector.h"

#include <QDBusError>
#include <QPromise>

#include <atomic>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace corvane {
namespace {

// A bus answers at once; one that accepts and then says nothing would otherwise be waited for.
constexpr std::chrono::seconds answerLimit{5};
// Set once the session bus was found silent: nothing waits for it again.
std::atomic<bool> sessionSilent;

QString nameOf(BusConnector::Bus bus) {
    return bus == BusConnector::Bus::Session ? QStringLiteral("session bus")
                                             : QStringLiteral("system bus");
}

QString unanswered(BusConnector::Bus bus) {
    return QStringLiteral("the %1 did not answer within %2 seconds")
        .arg(nameOf(bus))
        .arg(answerLimit.count());
}

QString addressOf(BusConnector::Bus bus) {
    return bus == BusConnector::Bus::Session
               ? qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS",
                                      QStringLiteral("unix:path=%1/bus")
                                          .arg(qEnvironmentVariable("XDG_RUNTIME_DIR")))
               : qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS",
                                      QStringLiteral("unix:path=/var/run/dbus/system_bus_socket"));
}

// Whether the bus at `address` takes a connection and then says nothing, within the limit, to
// the first words of the handshake. A bus that refuses at once, or whose address is not a local
// socket, is left to libdbus, which gives up on those by itself.
bool silent(const QString& address) {
    sockaddr_un socketAddress{};
    socketAddress.sun_family = AF_UNIX;
    QByteArray path;
    for (const QString& pair :
         address.section(QLatin1Char(';'), 0, 0).section(u':', 1).split(u',')) {
        const QByteArray value = QByteArray::fromPercentEncoding(pair.section(u'=', 1).toUtf8());
        if (pair.startsWith(QLatin1String("path=")))
            path = value;
        else if (pair.startsWith(QLatin1String("abstract=")))
            path = '\0' + value;
    }
    if (!address.startsWith(QLatin1String("unix:")) || path.isEmpty() ||
        static_cast<size_t>(path.size()) >= sizeof(socketAddress.sun_path))
        return false;
    std::memcpy(socketAddress.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return false;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    const QByteArray hello =
        QByteArray("\0AUTH EXTERNAL ", 15) + QByteArray::number(::getuid()).toHex() + "\r\n";
    pollfd answer{descriptor, POLLIN, 0};
    const bool quiet =
        ::connect(descriptor, reinterpret_cast<const sockaddr*>(&socketAddress), length) == 0 &&
        ::send(descriptor, hello.constData(), static_cast<size_t>(hello.size()), MSG_NOSIGNAL) ==
            hello.size() &&
        ::poll(&answer, 1, static_cast<int>(std::chrono::milliseconds(answerLimit).count())) == 0;
    ::close(descriptor);
    return quiet;
}

// Connects to the bus at `address` as `name`; nothing when the bus is silent. A silent session
// bus is remembered, so that nothing waits for it again.
std::optional<QDBusConnection> reach(BusConnector::Bus bus, const QString& address,
                                     const QString& name) {
    if (!silent(address))
        return QDBusConnection::connectToBus(address, name);
    if (bus == BusConnector::Bus::Session)
        sessionSilent = true;
    return std::nullopt;
}

} // namespace

BusConnector::BusConnector(Bus bus, QObject* parent)
    : QObject(parent)
    , bus(bus) {
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] {
        connecting.disconnect(this);
        emit failed(unanswered(this->bus));
    });
    // A bus found silent gives no connection: the limit tells of it.
    connect(&connecting, &QFutureWatcherBase::finished, this, [this] {
        if (connecting.future().resultCount() == 0)
            return;
        limit.stop();
        const QDBusConnection result = connecting.result();
        if (result.isConnected())
            emit connected(result);
        else
            emit failed(QStringLiteral("there is no %1 (%2)")
                            .arg(nameOf(this->bus), result.lastError().message()));
    });
}

void BusConnector::connectToBus() {
    if (bus == Bus::Session && sessionSilent) {
        limit.start(0);
        return;
    }
    static std::atomic<int> connections;
    const QString name = QStringLiteral("corvane-%1").arg(++connections);
    const QString address = addressOf(bus);
    QPromise<QDBusConnection> promise;
    connecting.setFuture(promise.future());
    try {
        std::thread([promise = std::move(promise), bus = bus, address, name]() mutable {
            promise.start();
            if (const std::optional<QDBusConnection> reached = reach(bus, address, name))
                promise.addResult(*reached);
            promise.finish();
        }).detach();
    } catch (const std::system_error& error) {
        connecting.disconnect(this);
        emit failed(QStringLiteral("no thread to reach the %1 (%2)")
                        .arg(nameOf(bus), QString::fromLocal8Bit(error.code().message())));
        return;
    }
    limit.start(answerLimit);
}

QDBusConnection BusConnector::connectNow(Bus bus, const QString& name) {
    if (bus == Bus::Session && sessionSilent)
        return QDBusConnection(name);
    return reach(bus, addressOf(bus), name).value_or(QDBusConnection(name));
}

QString BusConnector::settleSessionBus() {
    if (!sessionSilent && !silent(addressOf(Bus::Session)))
        return {};
    sessionSilent = true;
    // Qt keeps the answer of its first try, and libdbus the address it was given then.
    const QByteArray given = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QDBusConnection::sessionBus();
    if (given.isNull())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", given);
    return unanswered(Bus::Session);
}

} // namespace corvane
