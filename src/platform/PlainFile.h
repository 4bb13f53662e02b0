#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

// What reading a small plain file gave.
struct PlainFile {
    // Its bytes, at most the limit; the start of it when it was longer.
    QByteArray bytes;
    // Why it could not be read whole, beginning with its path; empty when it was.
    QString problem;
    // The error of open or read, 0 when there was none: ENOENT for a missing file.
    int error = 0;
    // Whether it is a plain file at all, however long.
    bool plain = false;
    // Whether there was more than the limit.
    bool cut = false;

    bool isRead() const { return problem.isEmpty(); }
};

enum class Links { Refuse, Follow };

// Reads the file at `path`, up to `limit` bytes, without ever waiting: it is opened without
// blocking and without becoming a terminal of ours, and read only when it is a plain file, so a
// FIFO or a device planted there never holds the caller. A link in the last step of the path is
// refused unless `links` follows it.
PlainFile readPlainFile(const QString& path, qsizetype limit, Links links = Links::Refuse);

// A file's problem as the system words `error`: "path: No such file or directory".
QString fileProblem(const QString& path, int error);

} // namespace corvane
