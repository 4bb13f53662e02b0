#pragma once

#include "PlatformServices.h"
#include "PosixToolRunner.h"
#include "QtExecutor.h"
#include "SettingsDefaultsStore.h"
#include "StandardOutputLog.h"
#include "SystemClock.h"
#include "SystemModelQuery.h"

namespace corvane {

// The real operating-system services, as the shipped application uses them.
class SystemPlatform {
public:
    PlatformServices services() {
        return {tools, modelQuery, defaults, executor, clock, sleeper, log};
    }

private:
    PosixToolRunner tools;
    SystemModelQuery modelQuery;
    SettingsDefaultsStore defaults;
    QtExecutor executor;
    SystemClock clock;
    ThreadSleeper sleeper;
    StandardOutputLog log;
};

} // namespace corvane
