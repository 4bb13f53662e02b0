#pragma once

#include "RunningApplications.h"

#include <QString>

namespace corvane {

// The running copies of this application, kept as a per-user registry: each copy adds a file
// named by its process identifier that holds its bundle identifier, and keeps an exclusive
// lock on it for as long as it lives. The operating system drops the lock when the process
// ends however it ends, so a crashed or killed copy never counts as running; its file is
// swept away by the next listing.
class InstanceRegistry final : public RunningApplications {
public:
    // Registers this process under `bundleIdentifier` in the user's runtime folder.
    explicit InstanceRegistry(const QString& bundleIdentifier);
    // Registers this process in `directory` instead, creating it if needed.
    InstanceRegistry(const QString& bundleIdentifier, const QString& directory);
    ~InstanceRegistry() override;
    InstanceRegistry(const InstanceRegistry&) = delete;
    InstanceRegistry& operator=(const InstanceRegistry&) = delete;

    std::vector<RunningApplication> runningApplications() const override;
    std::int32_t currentProcessIdentifier() const override;

private:
    void registerCurrentProcess(const QString& bundleIdentifier);

    QString directory;
    QString registrationFile;
    int registrationDescriptor = -1;
};

} // namespace corvane
