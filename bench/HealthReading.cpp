// How long one health reading takes on this machine, as a restart reads it before and after a
// fix: the backend's processes, the model, the devices, the unit and its journal, and the
// verdict. Real tools and files; what the reading logs goes nowhere. bench/journal runs it in a
// made-up tiny-dfr world over a journal of more than 1 GB.
//   corvane-health [RUNS]

#include "core/Backend.h"
#include "core/Health.h"
#include "core/Restart.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace corvane;

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    SystemServices system;
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    Log dropped(nowhere);
    const Services given = system.services();
    const Services services{given.tools, given.modelQuery, given.clock,  dropped,
                            dropped,     given.user,       given.prompt, given.root};
    const Backend& backend = systemBackend();
    std::vector<double> times;
    Health health;
    // The first reading only warms the caches.
    for (int run = 0; run <= runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        health = checkTouchBarHealth(services, backend);
        if (run > 0)
            times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%8.1f %8.1f  a health reading in-process (%s: %s)\n", times[times.size() / 2],
                times.front(), backend.key.toUtf8().constData(),
                healthKey(health.state).toUtf8().constData());
    return 0;
}
