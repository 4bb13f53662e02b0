#include "TouchBarError.h"

#include <gtest/gtest.h>

using corvane::TouchBarError;

TEST(TouchBarError, DescribesEveryKindWithItsPayloadAppendedVerbatim)
{
    const QString awkward = QStringLiteral("a: \"b\" 'c'\nd\n");
    const struct {
        TouchBarError error;
        QString description;
    } cases[] = {
        {TouchBarError::killFailed(QStringLiteral("TouchBarServer")),
         QStringLiteral("Failed to restart TouchBarServer")},
        {TouchBarError::killFailed(awkward), QStringLiteral("Failed to restart ") + awkward},
        {TouchBarError::killFailed({}), QStringLiteral("Failed to restart ")},
        {TouchBarError::securityViolation(awkward), QStringLiteral("Security violation: ") + awkward},
        {TouchBarError::securityViolation({}), QStringLiteral("Security violation: ")},
        {TouchBarError::unknown(awkward), awkward},
        {TouchBarError::unknown({}), QString()},
        {TouchBarError::noTouchBar(), QStringLiteral("This device doesn't have a Touch Bar")},
        {TouchBarError::processNotFound(), QStringLiteral("Touch Bar process not found")},
        {TouchBarError::serviceRestartFailed(), QStringLiteral("Failed to restart Touch Bar service")},
    };
    for (const auto& [error, description] : cases) {
        SCOPED_TRACE(description.toStdString());
        ASSERT_TRUE(error.errorDescription().has_value());
        EXPECT_EQ(*error.errorDescription(), description);
        EXPECT_EQ(error.localizedDescription(), description);
        EXPECT_FALSE(error.failureReason());
        EXPECT_FALSE(error.recoverySuggestion());
        EXPECT_FALSE(error.helpAnchor());
    }
}
