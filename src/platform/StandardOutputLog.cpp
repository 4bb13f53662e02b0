#include "StandardOutputLog.h"

#include <cerrno>
#include <unistd.h>

namespace corvane {

void StandardOutputLog::writeLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    qsizetype written = 0;
    // A pipe reader may take a long line in pieces; finish it, and give up quietly when
    // nobody reads standard output any more.
    while (written < bytes.size()) {
        const ssize_t count = ::write(STDOUT_FILENO, bytes.constData() + written,
                                      static_cast<std::size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        written += count;
    }
}

} // namespace corvane
