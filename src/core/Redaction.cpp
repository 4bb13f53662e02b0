#include "core/Redaction.h"

#include <QRegularExpression>

#include <algorithm>

namespace corvane {
namespace {

// Replaces each match of `pattern` in `text` with what `replacement` makes of it, and answers
// how many there were.
template <typename Replacement>
int replaceEach(QString& text, const QRegularExpression& pattern, Replacement replacement) {
    QString result;
    qsizetype from = 0;
    int count = 0;
    for (const QRegularExpressionMatch& match : pattern.globalMatch(text)) {
        result += QStringView(text).sliced(from, match.capturedStart() - from);
        result += replacement(match);
        from = match.capturedEnd();
        ++count;
    }
    result += QStringView(text).sliced(from);
    text = result;
    return count;
}

// Names that belong to nobody in particular, and those too short to tell from other words.
bool personal(const QString& name) {
    return name.size() > 1 && name.compare(QLatin1String("root"), Qt::CaseInsensitive) != 0 &&
           name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0;
}

} // namespace

Redacted redact(const QString& text, const PersonalNames& names) {
    Redacted redacted{text, {}};
    const auto count = [&](PersonalDetail kind, int found) {
        if (found > 0)
            redacted.removed[kind] += found;
    };

    QStringList users = names.users;
    static const QRegularExpression home(QStringLiteral(R"(/(?:home|Users)/([^/\s"'`:;,=)\]]+))"));
    count(PersonalDetail::HomePath,
          replaceEach(redacted.text, home, [&](const QRegularExpressionMatch& match) {
              users << match.captured(1);
              return QStringLiteral("~");
          }));

    static const QRegularExpression serial(
        QStringLiteral(
            R"(\b((?:IOPlatform)?serial(?:[ _-]?number)?"?[ \t]*[:=][ \t]*"?)([\w.-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    count(PersonalDetail::SerialNumber,
          replaceEach(redacted.text, serial, [](const QRegularExpressionMatch& match) {
              return match.captured(1) + QStringLiteral("[serial]");
          }));

    static const QRegularExpression mac(QStringLiteral(
        R"((?<![[:xdigit:]:-])[[:xdigit:]]{2}([:-])[[:xdigit:]]{2}(?:\1[[:xdigit:]]{2}){4}(?![[:xdigit:]:-]))"));
    count(PersonalDetail::MacAddress,
          replaceEach(redacted.text, mac,
                      [](const QRegularExpressionMatch&) { return QStringLiteral("[MAC]"); }));

    // The longest name first, so that a host named after its user goes as a host.
    QList<std::pair<QString, PersonalDetail>> named;
    for (const QString& host : names.hosts)
        named.append({host, PersonalDetail::HostName});
    for (const QString& user : users)
        named.append({user, PersonalDetail::UserName});
    std::stable_sort(named.begin(), named.end(), [](const auto& one, const auto& other) {
        return one.first.size() > other.first.size();
    });
    for (const auto& [name, kind] : named) {
        if (!personal(name))
            continue;
        const QRegularExpression word(
            QStringLiteral(R"((?<!\w)%1(?!\w))").arg(QRegularExpression::escape(name)),
            QRegularExpression::CaseInsensitiveOption);
        const QLatin1StringView mark(kind == PersonalDetail::HostName ? "[host]" : "[user]");
        count(kind, replaceEach(redacted.text, word,
                                [&](const QRegularExpressionMatch&) { return QString(mark); }));
    }
    return redacted;
}

QString describeDetail(PersonalDetail kind) {
    switch (kind) {
    case PersonalDetail::UserName:
        return QStringLiteral("user names");
    case PersonalDetail::HostName:
        return QStringLiteral("host names");
    case PersonalDetail::SerialNumber:
        return QStringLiteral("serial numbers");
    case PersonalDetail::MacAddress:
        return QStringLiteral("MAC addresses");
    case PersonalDetail::HomePath:
        return QStringLiteral("home paths");
    }
    return {};
}

} // namespace corvane
