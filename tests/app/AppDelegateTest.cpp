#include "AppDelegate.h"
#include "ContentView.h"
#include "Fakes.h"
#include "TouchBarManager.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::fakes;

namespace {

struct Launch {
    FakePlatform platform;
    FakeRunningApplications applications;
    RecordingAlerts alerts;
    RecordingUrlOpener browser;
    AppDelegate delegate{applications, alerts, platform.services(), browser};

    // Finishes launching inside the event loop, as the application does, and reports whether
    // the loop was asked to stop within a second.
    bool launchQuits() {
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        giveUp.start(1000);
        QTimer::singleShot(0, &delegate, [this] { delegate.applicationDidFinishLaunching(); });
        return QCoreApplication::exec() == 0;
    }
};

} // namespace

TEST(AppDelegate, AnotherCopyRunningEndsTheLaunchWithoutAWindow) {
    Launch launch;
    launch.applications.applications = {{"com.tamberlin.corvane", 977}};

    EXPECT_TRUE(launch.launchQuits());

    EXPECT_EQ(launch.alerts.shown.size(), 1u);
    EXPECT_FALSE(launch.delegate.window());
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST(AppDelegate, OpensOneFixedCentredWindowAroundTheView) {
    Launch launch;
    launch.platform.modelQuery = FakeModelQuery::answering("MacBookPro16,1");

    EXPECT_FALSE(launch.launchQuits());

    EXPECT_TRUE(launch.alerts.shown.empty());
    QWidget* window = launch.delegate.window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(launch.delegate.applicationShouldTerminateAfterLastWindowClosed());
    EXPECT_EQ(QApplication::topLevelWidgets(), QWidgetList{window});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Corvane");
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window->minimumSize(), QSize(420, 360));
    EXPECT_EQ(window->maximumSize(), QSize(420, 360));

    auto* view = window->findChild<ContentView*>();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->geometry(), window->rect()) << "nothing clipped";
    EXPECT_TRUE(view->touchBarManager().hasTouchBar());
    const QPoint offCentre =
        window->frameGeometry().center() - window->screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 4) << "centred but for the window frame";
}
