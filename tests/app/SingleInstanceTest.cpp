#include "SingleInstance.h"
#include "Fakes.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

const QString identifier = "com.tamberlin.corvane";
const QStringList checkLines = {"🔍 Single instance check:", "   Current PID: 4242",
                                "   Bundle ID: com.tamberlin.corvane"};

} // namespace

TEST(SingleInstance, LaunchGoesOnWhenNoOtherCopyRuns) {
    FakeRunningApplications applications;
    applications.applications = {
        {identifier, 4242},
        {"COM.Tamberlin.Corvane", 301},
        {"com.tamberlin.corvane.helper", 302},
        {std::nullopt, 303},
    };
    RecordingAlerts alerts;
    RecordingLog log;

    EXPECT_TRUE(checkSingleInstance(applications, alerts, log));

    EXPECT_EQ(log.lines(), checkLines + QStringList{"   Existing instances: 0"});
    EXPECT_TRUE(alerts.shown.empty());
}

TEST(SingleInstance, OtherCopiesAreListedInOrderAndReportedOnce) {
    FakeRunningApplications applications;
    applications.applications = {
        {identifier, 977},         {std::nullopt, 12}, {identifier, 4242},
        {"com.example.other", 14}, {identifier, 35},
    };
    RecordingAlerts alerts;
    RecordingLog log;

    EXPECT_FALSE(checkSingleInstance(applications, alerts, log));

    const QStringList found = {"   Existing instances: 2", "   Found existing: PID 977",
                               "   Found existing: PID 35"};
    EXPECT_EQ(log.lines(), checkLines + found);
    ASSERT_EQ(alerts.shown.size(), 1u);
    const Alert& alert = alerts.shown.front();
    EXPECT_EQ(alert.messageText, "Corvane is Already Running");
    EXPECT_EQ(alert.informativeText, "Another instance of Corvane is already running. Please quit "
                                     "the existing instance before starting a new one.");
    EXPECT_EQ(alert.style, Alert::Style::Warning);
    EXPECT_EQ(alert.buttons, QStringList{"OK"});
    EXPECT_EQ(alert.symbolName, "exclamationmark.triangle.fill");
    EXPECT_EQ(alert.symbolDescription, "Warning");
}
