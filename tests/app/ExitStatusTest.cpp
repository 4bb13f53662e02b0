#include "app/ExitStatus.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvane;
using enum ExitStatus;
using enum HealthState;

namespace {

using StatusRow = std::tuple<const char*, bool, HealthState, ExitStatus>;
using FixRow = std::tuple<const char*, std::optional<TouchBarError>, ExitStatus>;
class StatusExit : public testing::TestWithParam<StatusRow> {};
class FixExit : public testing::TestWithParam<FixRow> {};
const auto named = [](const auto& row) {
    return std::string(std::get<0>(row.param));
};

} // namespace

TEST_P(StatusExit, Is) {
    const auto& [name, touchBar, health, answer] = GetParam();
    EXPECT_EQ(static_cast<int>(statusExitStatus(touchBar, health)), static_cast<int>(answer));
}

// A Touch Bar gone from the bus is one that does not work, as "Touch Bar: yes" beside it says.
INSTANTIATE_TEST_SUITE_P(
    Health, StatusExit,
    testing::Values(StatusRow{"Working", true, Working, Done},
                    StatusRow{"Stopped", true, DaemonStopped, NotWorking},
                    StatusRow{"Failed", true, DaemonFailed, NotWorking},
                    StatusRow{"DriverGone", true, DisplayDriverGone, NotWorking},
                    StatusRow{"HardwareGone", true, HardwareMissing, NotWorking},
                    StatusRow{"Crashed", true, DaemonCrashed, NotWorking},
                    StatusRow{"BridgeLost", true, BridgeLost, NotWorking},
                    StatusRow{"Unknown", true, Unknown, CouldNotTell},
                    StatusRow{"JournalUnread", true, JournalUnread, CouldNotTell},
                    StatusRow{"None", false, Unknown, NoTouchBar},
                    StatusRow{"NoneThoughItRuns", false, Working, NoTouchBar}),
    named);

TEST_P(FixExit, Is) {
    const auto& [name, error, answer] = GetParam();
    EXPECT_EQ(static_cast<int>(fixExitStatus(error)), static_cast<int>(answer));
}

INSTANTIATE_TEST_SUITE_P(
    Error, FixExit,
    testing::Values(
        FixRow{"Restarted", std::nullopt, Done},
        FixRow{"NoTouchBar", TouchBarError::noTouchBar(), NoTouchBar},
        FixRow{"Refused", TouchBarError::permissionDenied("x"), AdministratorNeeded},
        FixRow{"Declined", TouchBarError::administratorDeclined(), AdministratorDeclined},
        FixRow{"NoPrompt", TouchBarError::promptUnavailable("x"), AdministratorDeclined},
        FixRow{"KillFailed", TouchBarError::killFailed("x"), NotWorking},
        FixRow{"StillNotWorking", TouchBarError::touchBarNotWorking("x"), NotWorking}),
    named);
