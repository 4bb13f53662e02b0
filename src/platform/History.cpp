#include "platform/History.h"

#include "platform/PlainFile.h"
#include "platform/Services.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

// Twice what `capacity` lines of `lineLimit` take: a longer file was never a history.
constexpr qsizetype sizeLimit = History::lineLimit * History::capacity * 2;

const QString moveAway = QStringLiteral("; move it away to start a new history");

// Makes `folder` and whichever of its parents are missing, each for the user alone.
bool makeFolder(const QString& folder) {
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const QString parent = QFileInfo(folder).path();
    return parent != folder && makeFolder(parent) &&
           (::mkdir(name.constData(), 0700) == 0 || errno == EEXIST);
}

QByteArray lineOf(const QJsonObject& entry) {
    return QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

struct History::Contents {
    QList<QJsonObject> entries;
    // Whether the file ends inside a line: one torn while it was written.
    bool torn = false;
    // Why the file is no history Corvane may read or add to; empty when it is, or is missing.
    QString problem;
};

History::History(QString path)
    : path(std::move(path)) {}

QString History::defaultPath() {
#ifdef Q_OS_MACOS
    const QString home = homeFolder();
    return home.isEmpty() ? QString()
                          : home + QStringLiteral("/Library/Application Support/Corvane/"
                                                  "history.jsonl");
#else
    const QString folder = userFolder("XDG_STATE_HOME", QStringLiteral(".local/state"));
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/corvane/history.jsonl");
#endif
}

History::Contents History::read() const {
    Contents contents;
    if (path.isEmpty()) {
        contents.problem = QStringLiteral("There is no home folder to keep the history in");
        return contents;
    }
    const PlainFile file = readPlainFile(path, sizeLimit);
    if (file.error == ENOENT)
        return contents;
    if (file.cut) {
        contents.problem = path + QStringLiteral(": longer than a history grows") + moveAway;
        return contents;
    }
    if (!file.isRead()) {
        contents.problem = file.problem;
        return contents;
    }
    QList<QByteArray> lines = file.bytes.split('\n');
    const QByteArray tail = lines.takeLast();
    contents.torn = !tail.isEmpty();
    bool foreign = false;
    for (const QByteArray& line : std::as_const(lines)) {
        // A line longer than an entry may be was never one.
        const QJsonDocument document =
            line.size() < lineLimit ? QJsonDocument::fromJson(line) : QJsonDocument();
        if (document.isObject())
            contents.entries << document.object();
        else
            foreign = foreign || !line.isEmpty();
    }
    // A history torn at its very first line still starts as an entry does.
    if (contents.entries.isEmpty() && (foreign || (contents.torn && !tail.startsWith('{'))))
        contents.problem = path + QStringLiteral(": holds no entry of a history") + moveAway;
    return contents;
}

QList<QJsonObject> History::recent(int count) const {
    const Contents contents = read();
    lastProblem = contents.problem;
    return contents.entries.mid(std::max<qsizetype>(0, contents.entries.size() - count));
}

bool History::append(const QJsonObject& entry) {
    lastProblem.clear();
    const auto fail = [this](const QString& problem) {
        lastProblem = problem;
        return false;
    };
    const QByteArray line = lineOf(entry);
    if (line.size() > lineLimit)
        return fail(
            QStringLiteral("An entry of %1 bytes is too long for the history").arg(line.size()));
    // What is there is read once, under the lock; a link or a FIFO is refused by the open itself.
    if (path.isEmpty())
        return fail(read().problem);
    const QString folder = QFileInfo(path).path();
    if (!makeFolder(folder))
        return fail(fileProblem(folder, errno));

    const QByteArray name = QFile::encodeName(path);
    // Another copy that shortens the file puts a new one in its place; whoever waited for the
    // old one's lock adds to the new one instead.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int descriptor = ::open(
            name.constData(),
            O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            const int error = errno;
            return fail(error == ELOOP || error == ENXIO
                            ? path + QStringLiteral(": not a plain file")
                            : fileProblem(path, error));
        }
        const auto closed = [descriptor](bool result) {
            ::close(descriptor);
            return result;
        };
        struct stat opened = {};
        if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode))
            return closed(fail(path + QStringLiteral(": not a plain file")));
        while (::flock(descriptor, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat named = {};
        if (::lstat(name.constData(), &named) != 0 || named.st_ino != opened.st_ino ||
            named.st_dev != opened.st_dev) {
            ::close(descriptor);
            continue;
        }
        // Read again under the lock: another copy may have added lines since.
        const Contents contents = read();
        if (!contents.problem.isEmpty())
            return closed(fail(contents.problem));
        if (contents.entries.size() < capacity) {
            const QByteArray bytes = (contents.torn ? QByteArray("\n") : QByteArray()) + line;
            ssize_t written = -1;
            do
                written = ::write(descriptor, bytes.constData(), bytes.size());
            while (written < 0 && errno == EINTR);
            // A short write leaves a torn line, which the next one ends before its own.
            if (written != bytes.size())
                return closed(fail(fileProblem(path, written < 0 ? errno : ENOSPC)));
            return closed(true);
        }
        // Full: the newest entries go into a new file that replaces the old one whole, or not at
        // all when the disk is full.
        QSaveFile shorter(path);
        shorter.setDirectWriteFallback(false);
        if (!shorter.open(QIODevice::WriteOnly))
            return closed(fail(path + QStringLiteral(": ") + shorter.errorString()));
        for (const QJsonObject& kept : contents.entries.mid(contents.entries.size() - capacity + 1))
            shorter.write(lineOf(kept));
        shorter.write(line);
        if (!shorter.commit())
            return closed(fail(path + QStringLiteral(": ") + shorter.errorString()));
        return closed(true);
    }
    return fail(path + QStringLiteral(": replaced again and again while it was written"));
}

} // namespace corvane
