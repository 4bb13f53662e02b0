#include "SystemClock.h"

#include <thread>

namespace corvane {

void ThreadSleeper::sleep(std::chrono::nanoseconds duration) {
    std::this_thread::sleep_for(duration);
}

} // namespace corvane
