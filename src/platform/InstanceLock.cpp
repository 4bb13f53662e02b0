#include "platform/InstanceLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Why `folder` cannot hold the lock file, made if missing; empty when it can.
QString folderProblem(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (folder.isEmpty())
        return QStringLiteral("no such folder");
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return systemError();
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return systemError();
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("not a folder");
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("not a private folder of this user's");
    return {};
}

} // namespace

InstanceLock::InstanceLock(QString fileName, QStringList folders)
    : fileName(std::move(fileName))
    , folders(std::move(folders)) {}

InstanceLock::~InstanceLock() {
    unlock();
}

void InstanceLock::unlock() {
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

InstanceLock::Status InstanceLock::lock() {
    if (descriptor >= 0)
        return Status::Locked;
    QStringList tried;
    for (const QString& folder : folders) {
        QString problem = folderProblem(folder);
        const QString path = folder + QLatin1Char('/') + fileName;
        const int file = problem.isEmpty() ? ::open(QFile::encodeName(path).constData(),
                                                    O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)
                                           : -1;
        if (problem.isEmpty() && file < 0)
            problem = systemError();
        struct stat info = {};
        if (file >= 0 &&
            (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()))
            problem = QStringLiteral("the lock file is not a plain file of this user's");

        // Whoever holds the lock may let go between the two calls; then it is ours to take.
        for (int attempt = 0; problem.isEmpty() && attempt < 3; ++attempt) {
            struct flock range = {};
            range.l_type = F_WRLCK;
            range.l_whence = SEEK_SET;
            if (::fcntl(file, F_SETLK, &range) == 0) {
                descriptor = file;
                return Status::Locked;
            }
            if (errno != EACCES && errno != EAGAIN) {
                problem = systemError();
            } else if (::fcntl(file, F_GETLK, &range) == 0 && range.l_type != F_UNLCK) {
                holderProcess = range.l_pid;
                ::close(file);
                return Status::HeldElsewhere;
            }
        }
        if (file >= 0)
            ::close(file);
        tried << QStringLiteral("%1: %2").arg(
            path, problem.isEmpty() ? QStringLiteral("the lock kept changing hands") : problem);
    }
    unavailable = QStringLiteral("no private folder for the lock file (") +
                  tried.join(QStringLiteral("; ")) + QLatin1Char(')');
    return Status::Unavailable;
}

} // namespace corvane
