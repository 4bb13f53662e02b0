#pragma once

#include <cstddef>

namespace corvane {

// The kernel's hardware-model query, shaped like sysctlbyname(3): called with a null
// buffer it stores the size the answer needs (terminating zero byte included) in `size`;
// called with a buffer of `size` bytes it fills it. Returns 0 on success, non-zero on failure.
class ModelQuery {
public:
    virtual ~ModelQuery() = default;

    virtual int query(const char* name, char* buffer, std::size_t& size) = 0;
};

} // namespace corvane
