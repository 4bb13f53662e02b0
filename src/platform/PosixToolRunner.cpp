#include "PosixToolRunner.h"

#include "SpawnAttributes.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace corvane {
namespace {

LaunchError makeLaunchError(int error, const QString& program) {
    const QString description = QString::fromLocal8Bit(std::strerror(error));
    return {description, QStringLiteral("Error Domain=NSPOSIXErrorDomain Code=%1 \"%2\" "
                                        "UserInfo={NSFilePath=%3}")
                             .arg(error)
                             .arg(description, program)};
}

// Owns the file actions of one spawn so every exit path releases them.
class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    posix_spawn_file_actions_t actions;
};

class Pipe {
public:
    Pipe() = default;
    ~Pipe() {
        closeReadEnd();
        closeWriteEnd();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Both ends close on exec, so tools started concurrently by other threads never
    // inherit them and keep our read from seeing end of file.
    int open() {
        int ends[2];
#ifdef __APPLE__
        if (::pipe(ends) != 0)
            return errno;
        for (int end : ends)
            ::fcntl(end, F_SETFD, FD_CLOEXEC);
#else
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return errno;
#endif
        readEnd = ends[0];
        writeEnd = ends[1];
        return 0;
    }
    void closeReadEnd() {
        closeEnd(readEnd);
    }
    void closeWriteEnd() {
        closeEnd(writeEnd);
    }

    int readEnd = -1;
    int writeEnd = -1;

private:
    static void closeEnd(int& end) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
};

QByteArray drain(int descriptor) {
    QByteArray bytes;
    std::array<char, 65536> chunk;
    for (;;) {
        const ssize_t count = ::read(descriptor, chunk.data(), chunk.size());
        if (count > 0)
            bytes.append(chunk.data(), count);
        else if (count == 0 || errno != EINTR)
            return bytes;
    }
}

std::int32_t waitForExit(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

ToolOutcome PosixToolRunner::run(const QString& program, const QStringList& arguments,
                                 StandardError standardError) {
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> encoded;
    encoded.reserve(static_cast<std::size_t>(arguments.size()) + 1);
    encoded.push_back(path);
    for (const QString& argument : arguments)
        encoded.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    FileActions files;
    const SpawnAttributes attributes;
    Pipe errorPipe;
    const bool capture = standardError == StandardError::Captured;
    if (capture) {
        if (const int error = errorPipe.open(); error != 0)
            return {makeLaunchError(error, program), 0, {}};
        posix_spawn_file_actions_adddup2(&files.actions, errorPipe.writeEnd, STDERR_FILENO);
    }

    pid_t child = 0;
    const int error = posix_spawn(&child, path.constData(), &files.actions, attributes.get(),
                                  argv.data(), environ);
    if (error != 0)
        return {makeLaunchError(error, program), 0, {}};

    ToolOutcome outcome;
    if (capture) {
        errorPipe.closeWriteEnd();
        outcome.standardError = drain(errorPipe.readEnd);
    }
    outcome.exitStatus = waitForExit(child);
    return outcome;
}

} // namespace corvane
