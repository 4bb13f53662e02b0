#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace corvane {

// The personal details a redaction is told by name; the others it finds by their shape.
struct PersonalNames {
    QStringList users;
    QStringList hosts;
};

// What a redaction removes, in the order a report lists them.
enum class PersonalDetail { UserName, HostName, SerialNumber, MacAddress, HomePath };

struct Redacted {
    QString text;
    // How many of each kind were removed; a kind with none is absent.
    QMap<PersonalDetail, int> removed;
};

// `text` without personal details. A home folder (/home/<name>, /Users/<name>) becomes "~",
// and its name is a user's from then on; the value after "serial", "Serial Number",
// "SerialNumber" or "IOPlatformSerialNumber" and ':' or '=' becomes "[serial]"; six pairs of
// hex digits joined by ':' or '-' become "[MAC]"; each of `names`' hosts and users, as a whole
// word in any case, becomes "[host]" or "[user]". "root" and "localhost" are nobody's, and a
// name of one letter would take too much with it.
Redacted redact(const QString& text, const PersonalNames& names);

// The kind in the plural, for people: "user names", "host names", "serial numbers", "MAC
// addresses", "home paths".
QString describeDetail(PersonalDetail kind);

} // namespace corvane
