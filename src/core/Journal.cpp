#include "core/Journal.h"

namespace corvane {
namespace {

const QString journalTool = QStringLiteral("/usr/bin/journalctl");
// Enough for a crash and what led to it, or a resume's worth of driver messages.
constexpr int lineLimit = 200;
constexpr qsizetype byteLimit = qsizetype{64} * 1024;
constexpr qsizetype lineByteLimit = 512;

// Runs journalctl with `matches` and keeps its lines, oldest first; sets `read.problem` or
// `read.permitted` when it failed.
void readLines(const ToolSession& tools, const QStringList& matches, QStringList& lines,
               JournalLines& read) {
    // A stable format, every field whole (non-printable ones too, which harmless() escapes),
    // newest lines first: journalctl 252 prints the lines --grep found that way even without
    // --reverse, and the byte limit then cuts the oldest.
    const ToolOutcome run = tools.run(
        journalTool,
        QStringList{QStringLiteral("--no-pager"), QStringLiteral("--all"), QStringLiteral("-o"),
                    QStringLiteral("short-iso"), QStringLiteral("--reverse"), QStringLiteral("-n"),
                    QString::number(lineLimit)} +
            matches,
        Echo::Nothing);
    if (!run.launched()) {
        read.problem = journalTool + QStringLiteral(" could not be run: ") +
                       run.launchError->localizedDescription;
        return;
    }
    if (run.timedOut) {
        read.problem = journalTool + QStringLiteral(" did not answer in time");
        return;
    }
    const QByteArray& words = run.standardError;
    if (words.contains("insufficient permissions") ||
        words.contains("not seeing messages from other users and the system")) {
        read.permitted = false;
        return;
    }
    const QByteArray output = run.standardOutput.left(byteLimit);
    // It ends with 1 where --grep matched nothing, and says so.
    const bool nothing = output.trimmed() == "-- No entries --";
    if (run.exitStatus != 0 && !(run.exitStatus == 1 && nothing)) {
        const QString said = harmless(words.left(lineByteLimit).trimmed());
        read.problem = QStringLiteral("journalctl failed with status %1").arg(run.exitStatus) +
                       (said.isEmpty() ? QString() : QStringLiteral(": ") + said);
        return;
    }
    for (const QByteArray& line : output.split('\n')) {
        // journalctl's own notes ("-- Boot 1f2e… --", "-- No entries --") are no lines.
        if (line.isEmpty() || (line.startsWith("-- ") && line.endsWith(" --")))
            continue;
        lines.prepend(harmless(line.left(lineByteLimit)) +
                      (line.size() > lineByteLimit ? QStringLiteral("…") : QString()));
    }
}

} // namespace

JournalLines readJournal(const ToolSession& tools, const QString& invocation) {
    JournalLines read;
    if (!invocation.isEmpty())
        readLines(tools,
                  {QStringLiteral("_SYSTEMD_INVOCATION_ID=") + invocation, QStringLiteral("+"),
                   QStringLiteral("INVOCATION_ID=") + invocation},
                  read.daemon, read);
    return read;
}

void readKernelLines(const ToolSession& tools, JournalLines& read) {
    if (!read.permitted || !read.problem.isEmpty())
        return;
    // Lower case matches either case; the drivers name themselves with '-' or '_'. A bare "bce"
    // would also take every hexadecimal number that holds it, which could fill the 200 lines.
    readLines(tools,
              {QStringLiteral("-k"), QStringLiteral("-b"), QStringLiteral("0"),
               QStringLiteral("--grep=appletb|apple[-_]bce|bce[-_]vhci|t2bce")},
              read.kernel, read);
}

QString journalMessage(const QString& line) {
    // The time and the host name, then the identifier and its words.
    const qsizetype host = line.indexOf(QLatin1Char(' '));
    const qsizetype identifier = line.indexOf(QLatin1Char(' '), host + 1);
    const qsizetype colon = line.indexOf(QStringLiteral(": "), identifier + 1);
    return host < 0 || identifier < 0 || colon < 0 ? line : line.mid(colon + 2);
}

QString journalHost(const QString& line) {
    const qsizetype host = line.indexOf(QLatin1Char(' '));
    const qsizetype identifier = line.indexOf(QLatin1Char(' '), host + 1);
    return host < 0 || identifier < 0 ? QString() : line.sliced(host + 1, identifier - host - 1);
}

} // namespace corvane
