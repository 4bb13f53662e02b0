#include "AppDelegate.h"
#include "ContentView.h"
#include "Fakes.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QString ours = "com.tamberlin.corvane";
const QStringList check = {"🔍 Single instance check:", "   Current PID: 4242",
                           "   Bundle ID: com.tamberlin.corvane"};

// Finishes launching as copy 4242 inside the event loop, as the application does.
struct Launch {
    fakes::FakePlatform platform;
    fakes::FakeRunningApplications applications;
    fakes::RecordingAlerts alerts;
    fakes::RecordingUrlOpener browser;
    AppDelegate delegate{applications, alerts, platform.services(), browser};
    bool quit = false;

    explicit Launch(std::vector<RunningApplication> running) {
        applications.applications = std::move(running);
        QTimer::singleShot(0, &delegate, [this] { delegate.applicationDidFinishLaunching(); });
        QTimer::singleShot(1000, &delegate, [] { QCoreApplication::exit(99); });
        quit = QCoreApplication::exec() == 0;
    }
};

} // namespace

TEST(Launch, AnotherCopyEndsItWithOneWarningOtherwiseOneFixedWindowHoldsTheView) {
    const Launch guarded({{ours, 977}, {ours, 4242}, {"com.example.other", 14}, {ours, 35}});
    EXPECT_TRUE(guarded.quit);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_EQ(guarded.platform.log.lines(),
              (check + QStringList{"   Existing instances: 2", "   Found existing: PID 977",
                                   "   Found existing: PID 35"}));
    ASSERT_EQ(guarded.alerts.shown.size(), 1u);
    const Alert& alert = guarded.alerts.shown.front();
    EXPECT_EQ(alert.style, Alert::Style::Warning);
    EXPECT_EQ((QStringList{alert.messageText, alert.informativeText, alert.symbolName,
                           alert.symbolDescription, alert.buttons.join('|')}),
              (QStringList{"Corvane is Already Running",
                           "Another instance of Corvane is already running. Please quit the "
                           "existing instance before starting a new one.",
                           "exclamationmark.triangle.fill", "Warning", "OK"}));

    // Only exactly its identifier counts: not one differing in case, nor one without any.
    const Launch launch({{"COM.Tamberlin.Corvane", 301}, {ours, 4242}, {std::nullopt, 302}});
    EXPECT_FALSE(launch.quit);
    EXPECT_TRUE(launch.alerts.shown.empty());
    EXPECT_EQ(launch.platform.log.lines().mid(0, 5),
              (check + QStringList{"   Existing instances: 0",
                                   "🔍 Initial Touch Bar Detection (Model Only):"}));
    QWidget* window = launch.delegate.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(QApplication::topLevelWidgets(), QWidgetList{window});
    EXPECT_EQ(window->windowTitle(), "Corvane");
    const auto buttons = Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    EXPECT_EQ(window->windowFlags() & (buttons | Qt::WindowMaximizeButtonHint), buttons);
    EXPECT_EQ(window->minimumSize(), QSize(420, 360));
    EXPECT_EQ(window->maximumSize(), QSize(420, 360));
    EXPECT_EQ(window->findChild<ContentView*>()->geometry(), window->rect()) << "the whole view";
}
