#include "platform/ToolRunner.h"

#include "platform/PlainFile.h"

#include <QFile>

#include <cerrno>
#include <filesystem>

namespace corvane {
namespace {

// The start of /proc/<id>/`file`; empty once the process has gone. Nothing when it could not be
// read for another reason (no descriptor left), so that a process is never missed unsaid.
std::optional<QByteArray> readProcessFile(const std::filesystem::path& folder, const char* file) {
    const PlainFile read = readPlainFile(QFile::decodeName((folder / file).c_str()), 4096);
    if (read.error == ENOENT || read.error == ESRCH)
        return QByteArray();
    if (!read.isRead() && !read.cut)
        return std::nullopt;
    return read.bytes;
}

// The value of `key` in a /proc/<id>/status text ("Name:\tsleep\n" gives "sleep").
QByteArray statusField(const QByteArray& status, const QByteArray& key) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(key + ":\t"))
            return line.mid(key.size() + 2);
    }
    return {};
}

} // namespace

std::optional<RunningProcesses> PosixToolRunner::processesNamed(const QString& name) {
    const QByteArray whole = name.toUtf8();
    std::error_code error;
    RunningProcesses found;
    // Stepped by hand: a range-for's step throws where this one reports.
    for (std::filesystem::directory_iterator entry("/proc", error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        bool isId = false;
        const qint64 id = QByteArray(entry->path().filename().c_str()).toLongLong(&isId);
        if (!isId)
            continue;
        const std::optional<QByteArray> status = readProcessFile(entry->path(), "status");
        if (!status)
            return std::nullopt;
        // The kernel keeps the first 15 bytes of the program's file name; the whole of it is the
        // first argument's, as the program was started.
        if (statusField(*status, "Name") != whole.left(processNameField) ||
            QByteArrayList{"Z", "X"}.contains(statusField(*status, "State").left(1)))
            continue;
        if (!fitsProcessNameField(name)) {
            const std::optional<QByteArray> arguments = readProcessFile(entry->path(), "cmdline");
            if (!arguments)
                return std::nullopt;
            const QByteArray program(arguments->constData()); // up to the first NUL
            if (program.mid(program.lastIndexOf('/') + 1) != whole)
                continue;
        }
        bool validOwner = false;
        const uint owner = statusField(*status, "Uid").split('\t').constFirst().toUInt(&validOwner);
        if (validOwner)
            found << RunningProcess{id, static_cast<uid_t>(owner)};
    }
    if (error)
        return std::nullopt;
    return found;
}

} // namespace corvane
