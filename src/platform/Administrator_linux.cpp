#include "platform/Administrator.h"

#include "platform/BusConnector.h"
#include "platform/PlainFile.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <atomic>
#include <optional>
#include <unistd.h>

namespace corvane::administrator {
namespace {

constexpr int answerLimit = 5000;
// A process's stat line is a few hundred bytes.
constexpr qsizetype statLimit = 4096;

// This process's start time as polkit reads it, field 22 of /proc/self/stat: with the process
// id, it names this process and no later one that is given the same id.
std::optional<quint64> startTime() {
    const PlainFile stat = readPlainFile(QStringLiteral("/proc/self/stat"), statLimit);
    if (!stat.isRead())
        return std::nullopt;
    // The name in brackets may hold spaces and brackets of its own; the fields follow the last.
    const QList<QByteArray> fields = stat.bytes.mid(stat.bytes.lastIndexOf(')') + 2).split(' ');
    bool isNumber = false;
    const quint64 ticks = fields.value(19).toULongLong(&isNumber);
    return isNumber ? std::optional(ticks) : std::nullopt;
}

} // namespace

bool grantedUnasked(Prompt prompt, Fix fix) {
    if (prompt != Prompt::Pkexec)
        return false;
    const std::optional<quint64> started = startTime();
    if (!started)
        return false;
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process");
    subject.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    subject.beginMapEntry();
    subject << QStringLiteral("pid") << QDBusVariant(static_cast<quint32>(::getpid()));
    subject.endMapEntry();
    subject.beginMapEntry();
    subject << QStringLiteral("start-time") << QDBusVariant(*started);
    subject.endMapEntry();
    subject.endMap();
    subject.endStructure();
    QDBusArgument details;
    details.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    details.endMap();
    // Flags 0: polkit may not ask anyone, so "allowed" means that nobody would be asked.
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.PolicyKit1"),
                                       QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                                       QStringLiteral("org.freedesktop.PolicyKit1.Authority"),
                                       QStringLiteral("CheckAuthorization"));
    call << QVariant::fromValue(subject) << QStringLiteral("com.tamberlin.corvane.") + verb(fix)
         << QVariant::fromValue(details) << 0U << QString();

    static std::atomic<int> connections;
    const QString name = QStringLiteral("corvane-polkit-%1").arg(++connections);
    bool authorized = false;
    {
        // A silent system bus would hold Qt's one D-Bus thread, and the wake watcher with it.
        const QDBusConnection bus = BusConnector::connectNow(BusConnector::Bus::System, name);
        const QDBusMessage reply = bus.call(call, QDBus::Block, answerLimit);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "(bba{ss})") {
            const auto result = reply.arguments().constFirst().value<QDBusArgument>();
            result.beginStructure();
            result >> authorized;
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return authorized;
}

} // namespace corvane::administrator
