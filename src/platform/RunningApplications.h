#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

struct RunningApplication {
    std::optional<QString> bundleIdentifier;
    std::int32_t processIdentifier = 0;
};

// The applications running for this user, and this process's own identifier.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;

    virtual std::vector<RunningApplication> runningApplications() const = 0;
    virtual std::int32_t currentProcessIdentifier() const = 0;
};

} // namespace corvane
