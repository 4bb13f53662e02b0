#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace corvane {

// What happened to the Touch Bar, one JSON object a line, newest last: each fix and each reading
// after a wake, so that a pattern ("worse after long suspends", "broken since a kernel") shows.
// It holds at most `capacity` entries, the oldest dropped first. A line is written whole with
// one write(2) to the end of the file, so copies appending at once never mix their lines, and a
// torn last line or a full disk costs that line only. A file Corvane did not write there (a
// FIFO, a link, one far longer than a history grows, or one that holds no entry at all) is
// never written to nor emptied: it is left as it is, and problem() says so.
class History {
public:
    static constexpr int capacity = 300;
    // The longest line an entry may take, its end included.
    static constexpr qsizetype lineLimit = 4096;

    explicit History(QString path);

    // history.jsonl in Corvane's folder of the user's state: $XDG_STATE_HOME/corvane, else
    // ~/.local/state/corvane; ~/Library/Application Support/Corvane on macOS. Empty without a
    // home folder.
    static QString defaultPath();

    // Adds `entry` as the newest, making the folder (0700) and the file (0600) when missing.
    // False, with problem() saying why, when nothing was added.
    bool append(const QJsonObject& entry);
    // Why the last append() or recent() failed or left lines out; empty when it did not.
    QString problem() const { return lastProblem; }
    // The newest `count` entries, oldest first; lines that are not entries are skipped. Empty
    // when there is no history yet, or none that could be read (problem() then says why).
    QList<QJsonObject> recent(int count) const;

private:
    struct Contents;
    Contents read() const;

    QString path;
    mutable QString lastProblem;
};

} // namespace corvane
