#pragma once

#include <spawn.h>

namespace corvane {

// posix_spawn attributes under which a child starts with every signal at its default action
// and none blocked, whatever the spawning thread has set up for itself.
class SpawnAttributes {
public:
    SpawnAttributes();
    ~SpawnAttributes();
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &attributes; }

private:
    posix_spawnattr_t attributes;
};

} // namespace corvane
