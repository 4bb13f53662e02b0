#include "platform/Administrator.h"

namespace corvane::administrator {

bool grantedUnasked(Prompt, Fix) {
    return false;
}

} // namespace corvane::administrator
