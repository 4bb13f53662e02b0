#include "StandardOutputLog.h"

#include "PosixIo.h"

#include <unistd.h>

namespace corvane {

void StandardOutputLog::writeLine(const QString& line) {
    // When nobody reads standard output any more the line is dropped quietly.
    writeAll(STDOUT_FILENO, line.toUtf8() + '\n');
}

} // namespace corvane
