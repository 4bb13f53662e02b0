#include "platform/PlainFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

QString fileProblem(const QString& path, int error) {
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

PlainFile readPlainFile(const QString& path, qsizetype limit, Links links) {
    PlainFile file;
    const int flags =
        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags);
    if (descriptor < 0) {
        file.error = errno;
        file.problem = file.error == ELOOP && links == Links::Refuse
                           ? path + QStringLiteral(": not a plain file")
                           : fileProblem(path, file.error);
        return file;
    }
    struct stat info = {};
    file.plain = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
    if (!file.plain) {
        file.problem = path + QStringLiteral(": not a plain file");
        ::close(descriptor);
        return file;
    }
    // One byte past the limit tells a file that is too long from one that fills it.
    file.bytes.resize(limit + 1);
    qsizetype count = 0;
    while (count <= limit) {
        const ssize_t step = ::read(descriptor, file.bytes.data() + count,
                                    static_cast<std::size_t>(limit + 1 - count));
        if (step < 0 && errno == EINTR)
            continue;
        if (step < 0) {
            file.error = errno;
            file.problem = fileProblem(path, file.error);
            break;
        }
        if (step == 0)
            break;
        count += step;
    }
    ::close(descriptor);
    file.cut = count > limit;
    file.bytes.truncate(std::min(count, limit));
    if (file.cut && file.problem.isEmpty())
        file.problem = path + QStringLiteral(": longer than any value it may hold");
    return file;
}

} // namespace corvane
