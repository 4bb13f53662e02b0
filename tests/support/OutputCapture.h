#pragma once

#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace corvane::testing {

// What `action` writes to descriptor 1, itself or through the tools it starts.
template <typename Action> QByteArray outputOf(Action action) {
    QTemporaryFile file;
    file.open();
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file.handle(), STDOUT_FILENO);
    action();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QFile written(file.fileName());
    return written.open(QIODevice::ReadOnly) ? written.readAll() : "unreadable";
}

} // namespace corvane::testing
