#pragma once

#include <optional>

namespace corvane {

#ifdef __APPLE__
// Whether the system sees the Touch Bar's display as a device of its own, from the I/O Kit
// registry.
std::optional<bool> touchBarDisplaySeen();
#else
// Linux reads its Touch Bar devices from sysfs with the rest of the health.
inline std::optional<bool> touchBarDisplaySeen() {
    return std::nullopt;
}
#endif

} // namespace corvane
