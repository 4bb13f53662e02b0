#include "SpawnAttributes.h"

#include <csignal>

namespace corvane {

SpawnAttributes::SpawnAttributes() {
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

SpawnAttributes::~SpawnAttributes() {
    posix_spawnattr_destroy(&attributes);
}

} // namespace corvane
