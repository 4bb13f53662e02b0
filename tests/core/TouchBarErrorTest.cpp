#include "core/TouchBarError.h"

#include <gtest/gtest.h>

using corvane::TouchBarError;

TEST(TouchBarError, DescribesEveryKindWithItsTextAppendedVerbatim) {
    const QString awkward = "a: \"b\" 'c'\nd\n";
    const std::pair<TouchBarError, QString> cases[] = {
        {TouchBarError::killFailed(awkward), "Failed to restart " + awkward},
        {TouchBarError::securityViolation(awkward), "Security violation: " + awkward},
        {TouchBarError::unknown(awkward), awkward},
        {TouchBarError::unknown({}), ""},
        {TouchBarError::noTouchBar(), "This device doesn't have a Touch Bar"},
        {TouchBarError::processNotFound(), "Touch Bar process not found"},
        {TouchBarError::serviceRestartFailed(), "Failed to restart Touch Bar service"},
        {TouchBarError::permissionDenied("TouchBarServer"),
         "Restarting TouchBarServer needs an administrator: the Touch Bar service belongs to the "
         "system."},
        {TouchBarError::administratorDeclined(),
         "Administrator rights were not granted, so the Touch Bar was not restarted."},
    };
    for (const auto& [error, description] : cases)
        EXPECT_EQ(error.errorDescription(), description);
}
