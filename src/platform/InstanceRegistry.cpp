#include "InstanceRegistry.h"

#include "PosixIo.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace corvane {
namespace {

QString defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/corvane-instances");
}

int openForLocking(const QString& path, int flags) {
    int descriptor = -1;
    do {
        descriptor = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0600);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Some registrant's process identifier when `name` is a registration file, otherwise 0.
std::int32_t registeredProcess(const QString& name) {
    bool isNumber = false;
    const int pid = name.toInt(&isNumber);
    return isNumber && pid > 0 && QString::number(pid) == name ? pid : 0;
}

} // namespace

InstanceRegistry::InstanceRegistry(const QString& bundleIdentifier)
    : InstanceRegistry(bundleIdentifier, defaultDirectory()) {}

InstanceRegistry::InstanceRegistry(const QString& bundleIdentifier, const QString& directory)
    : directory(directory) {
    QDir().mkpath(directory);
    registerCurrentProcess(bundleIdentifier);
}

InstanceRegistry::~InstanceRegistry() {
    if (registrationDescriptor < 0)
        return;
    QFile::remove(registrationFile);
    ::close(registrationDescriptor);
}

void InstanceRegistry::registerCurrentProcess(const QString& bundleIdentifier) {
    // The file is written and locked under a name that listings ignore, then renamed into
    // place, so no listing ever sees an unlocked registration and sweeps it as stale.
    const QString pid = QString::number(currentProcessIdentifier());
    const QString pending = directory + QStringLiteral("/.") + pid + QStringLiteral(".pending");
    const int descriptor = openForLocking(pending, O_RDWR | O_CREAT | O_TRUNC);
    if (descriptor < 0)
        return;
    const QString finalName = directory + QLatin1Char('/') + pid;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 ||
        !writeAll(descriptor, bundleIdentifier.toUtf8()) ||
        ::rename(QFile::encodeName(pending).constData(),
                 QFile::encodeName(finalName).constData()) != 0) {
        QFile::remove(pending);
        ::close(descriptor);
        return;
    }
    registrationDescriptor = descriptor;
    registrationFile = finalName;
}

std::vector<RunningApplication> InstanceRegistry::runningApplications() const {
    std::vector<RunningApplication> applications;
    const QStringList names = QDir(directory).entryList(QDir::Files, QDir::NoSort);
    for (const QString& name : names) {
        const std::int32_t pid = registeredProcess(name);
        if (pid == 0)
            continue;
        const QString path = directory + QLatin1Char('/') + name;
        const int descriptor = openForLocking(path, O_RDONLY);
        if (descriptor < 0)
            continue;
        if (::flock(descriptor, LOCK_SH | LOCK_NB) == 0) {
            // Nobody holds the registration any more: its process has ended.
            QFile::remove(path);
            ::close(descriptor);
            continue;
        }
        ::close(descriptor);
        QFile file(path);
        RunningApplication application;
        application.processIdentifier = pid;
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray identifier = file.read(1024);
            if (!identifier.isEmpty())
                application.bundleIdentifier = QString::fromUtf8(identifier);
        }
        applications.push_back(application);
    }
    // Process identifiers grow with launch order, the order a user would expect.
    std::sort(applications.begin(), applications.end(),
              [](const RunningApplication& a, const RunningApplication& b) {
                  return a.processIdentifier < b.processIdentifier;
              });
    return applications;
}

std::int32_t InstanceRegistry::currentProcessIdentifier() const {
    return static_cast<std::int32_t>(::getpid());
}

} // namespace corvane
