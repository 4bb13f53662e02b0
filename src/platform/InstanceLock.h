#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace corvane {

// Keeps one copy of Corvane running per user: the first copy locks a file named after the
// application in a private folder of the user's and holds the lock as long as it lives. The
// system drops the lock when the process ends however it ends, so a copy that crashed or was
// killed never keeps the next one out, and of any number of copies started together exactly
// one gets it. The lock says which process holds it; the file itself is never written.
class InstanceLock {
public:
    enum class Status { Locked, HeldElsewhere, Unavailable };

    // Locks `fileName` in the first of `folders` that can hold it: a folder of this user's that
    // nobody else may write to, made when missing, whose lock file is a plain file of the
    // user's. A link planted where the folder or the file should be is never followed.
    InstanceLock(QString fileName, QStringList folders);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock unless another copy holds it; once taken it is kept until unlock().
    Status lock();
    // Lets the lock go, for the next copy to take; nothing when it is not held.
    void unlock();
    // The process holding the lock when lock() found it held; 0 when it cannot be told.
    pid_t holder() const { return holderProcess; }
    // Why lock() found no folder to lock in.
    const QString& problem() const { return unavailable; }

private:
    QString fileName;
    QStringList folders;
    int descriptor = -1;
    pid_t holderProcess = 0;
    QString unavailable;
};

} // namespace corvane
