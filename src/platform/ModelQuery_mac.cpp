#include "platform/ModelQuery.h"

#include <sys/sysctl.h>

namespace corvane {

SystemModelQuery::SystemModelQuery() = default;

std::optional<QString> SystemModelQuery::model(Log& log) {
    return modelFromSysctl(
        [](char* buffer, std::size_t& size) {
            return sysctlbyname("hw.model", buffer, &size, nullptr, 0);
        },
        log);
}

} // namespace corvane
