#include "platform/ModelQuery.h"

#include <sys/sysctl.h>

namespace corvane {

SystemModelQuery::SystemModelQuery() = default;

int SystemModelQuery::query(const char* name, char* buffer, std::size_t& size) {
    return sysctlbyname(name, buffer, &size, nullptr, 0);
}

} // namespace corvane
