#include "TouchBarManager.h"
#include "ViewHarness.h"

#include <QAccessible>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

const QString ready = "Fix your unresponsive Touch Bar with one click";
const QString noTouchBar = "No Touch Bar detected on this device";
const QString successText =
    "Touch Bar has been successfully restarted!\n\nYour Touch Bar should now be responsive. If "
    "you need to restart it again, click \"Fix Again\" or quit and relaunch the app.";

// Points of the 308 × 56 fix button: near its top and bottom edges beside the caption, just
// inside its left edge (outside it once shrunk to 0.98), and a little further in.
const QPoint nearTop(40, 5);
const QPoint nearBottom(40, 50);
const QPoint edge(1, 28);
const QPoint inside(6, 28);

// Runs the event loop until the application is asked to quit, or gives up after 5 s.
int exitStatusAfter(const std::function<void()>& action) {
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    giveUp.start(5000);
    QTimer::singleShot(0, action);
    return QCoreApplication::exec();
}

} // namespace

TEST(ContentView, LooksFollowTheManager) {
    const struct {
        const char* name;
        QByteArray model;
        QStringList running;
        QString status;
        bool enabled;
    } cases[] = {
        {"model without a Touch Bar", otherModel, {}, noTouchBar, false},
        {"Touch Bar model", touchBarModel, {}, ready, true},
        {"Touch Bar found by its processes on appearance",
         otherModel,
         {"TouchBarServer"},
         ready,
         true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ViewHarness harness(testCase.model, testCase.running);
        harness.show();

        EXPECT_EQ(harness.label("title")->text(), "Corvane");
        EXPECT_EQ(harness.label("statusLine")->text(), testCase.status);
        EXPECT_EQ(harness.fixButton()->text(), "Fix Touch Bar");
        EXPECT_EQ(harness.fixButton()->isEnabled(), testCase.enabled);
        EXPECT_TRUE(harness.button("Help")->isEnabled());
        EXPECT_TRUE(harness.button("Quit")->isEnabled());
        EXPECT_EQ(harness.view->size(), QSize(420, 360));
        EXPECT_EQ(harness.fixButton()->size(), QSize(308, 56));

        const QColor top = harness.buttonPixel(nearTop);
        const QColor bottom = harness.buttonPixel(nearBottom);
        if (testCase.enabled) {
            // Blue at the top fading to 80 % blue over white at the bottom.
            EXPECT_TRUE(near(top, QColor(0x00, 0x7A, 0xFF), 8));
            EXPECT_GT(bottom.red() - top.red(), 25);
            EXPECT_GT(bottom.green() - top.green(), 12);
            EXPECT_GE(bottom.blue(), 250);
        } else {
            EXPECT_TRUE(near(top, QColor(0x8E, 0x8E, 0x93)));
            EXPECT_TRUE(near(bottom, QColor(0x8E, 0x8E, 0x93)));
        }
        EXPECT_TRUE(near(harness.buttonPixel(edge), harness.buttonPixel(inside)))
            << "drawn at full size";
    }
}

TEST(ContentView, RestartingLookIsOrangeShrunkAndDisabled) {
    ViewHarness harness(touchBarModel, touchBarProcesses);
    harness.show();
    bool checked = false;
    harness.whileRestarting([&] {
        checked = true;
        EXPECT_EQ(harness.fixButton()->text(), "Fixing Touch Bar...");
        EXPECT_FALSE(harness.fixButton()->isEnabled());
        EXPECT_EQ(harness.label("statusLine")->text(), ready);
        EXPECT_TRUE(near(harness.buttonPixel(inside), QColor(0xFF, 0x95, 0x00)));
        EXPECT_TRUE(near(harness.buttonPixel(nearTop), QColor(0xFF, 0x95, 0x00)));
        EXPECT_GT(harness.buttonPixel(edge).blue(), 200) << "the 0.98 scale uncovers the edge";
    });
    QTest::mouseClick(harness.fixButton(), Qt::LeftButton);
    ASSERT_TRUE(checked);
    settle();
    EXPECT_EQ(harness.fixButton()->text(), "Fix Touch Bar");
    EXPECT_TRUE(harness.fixButton()->isEnabled());
}

TEST(ContentView, StatusLineChangesWhileTheRestartRuns) {
    // Detected through its processes, which then vanish for good in the middle of the restart.
    ViewHarness harness(otherModel, {"TouchBarServer"});
    harness.system.relaunched.clear();
    harness.show();
    harness.whileRestarting([&] {
        harness.view->touchBarManager().performFullTouchBarDetection();
        settle();
        EXPECT_EQ(harness.label("statusLine")->text(), noTouchBar);
        EXPECT_EQ(harness.fixButton()->text(), "Fixing Touch Bar...");
        EXPECT_TRUE(near(harness.buttonPixel(inside), QColor(0xFF, 0x95, 0x00)));
    });
    QTest::mouseClick(harness.fixButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(harness.fixButton()->text(), "Fix Touch Bar");
    EXPECT_FALSE(harness.fixButton()->isEnabled());
    EXPECT_TRUE(near(harness.buttonPixel(inside), QColor(0x8E, 0x8E, 0x93)));
}

TEST(ContentView, AlertReportsTheRestartOutcome) {
    const struct {
        const char* name;
        QByteArray model;
        QStringList running;
        QStringList relaunched;
        bool vanishBeforeRestart;
        QString title;
        QString message;
        QStringList buttons;
    } cases[] = {
        {"success",
         touchBarModel,
         touchBarProcesses,
         touchBarProcesses,
         false,
         "Success! ✅",
         successText,
         {"Fix Again", "Quit"}},
        {"server not back",
         touchBarModel,
         touchBarProcesses,
         {"ControlStrip"},
         false,
         "Error ❌",
         "Failed to restart Touch Bar service",
         {"OK"}},
        {"no Touch Bar at restart time",
         otherModel,
         {"TouchBarServer"},
         {},
         true,
         "Error ❌",
         "This device doesn't have a Touch Bar",
         {"OK"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ViewHarness harness(testCase.model, testCase.running);
        harness.system.relaunched = testCase.relaunched;
        harness.show();
        ASSERT_TRUE(harness.fixButton()->isEnabled());
        EXPECT_FALSE(harness.alert());
        if (testCase.vanishBeforeRestart)
            harness.system.running.clear();

        QTest::mouseClick(harness.fixButton(), Qt::LeftButton);

        QMessageBox* alert = harness.alert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), testCase.title);
        EXPECT_EQ(alert->informativeText(), testCase.message);
        EXPECT_EQ(harness.alertButtons(), testCase.buttons);
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    }
}

TEST(ContentView, FixAgainRestartsAndReopensWithTheNewOutcome) {
    ViewHarness harness(touchBarModel, touchBarProcesses);
    harness.show();
    QTest::mouseClick(harness.fixButton(), Qt::LeftButton);
    ASSERT_EQ(harness.alertButtons(), (QStringList{"Fix Again", "Quit"}));
    EXPECT_EQ(harness.alert()->escapeButton()->text(), "Quit");
    const auto terminations = [&] {
        return harness.platform.tools.commandLines().filter("/usr/bin/pkill").size();
    };
    ASSERT_EQ(terminations(), 6);

    // This time TouchBarServer stays away.
    harness.system.relaunched.removeAll("TouchBarServer");
    harness.pressAlertButton("Fix Again");
    settle();

    EXPECT_EQ(terminations(), 12);
    ASSERT_TRUE(harness.alert());
    EXPECT_EQ(harness.alert()->text(), "Error ❌");
    EXPECT_EQ(harness.alertButtons(), QStringList{"OK"});
    EXPECT_EQ(harness.view->findChildren<QMessageBox*>().size(), 1) << "the first alert is gone";

    harness.pressAlertButton("OK");
    settle();
    EXPECT_FALSE(harness.alert());
    EXPECT_EQ(terminations(), 12);
}

TEST(ContentView, WarnsOfAnErrorRecordedBeforeItAppears) {
    ViewHarness harness(otherModel);
    std::optional<TouchBarResult> outcome;
    harness.view->touchBarManager().restartTouchBar(
        [&](TouchBarResult result) { outcome = result; });
    ASSERT_TRUE(outcome && !outcome->isSuccess());

    harness.show();

    ASSERT_TRUE(harness.alert());
    EXPECT_EQ(harness.alert()->text(), "Warning ⚠️");
    EXPECT_EQ(harness.alert()->informativeText(), "This device doesn't have a Touch Bar");
    EXPECT_EQ(harness.alertButtons(), QStringList{"OK"});
    harness.pressAlertButton("OK");
    EXPECT_TRUE(harness.view->touchBarManager().lastError()) << "the warning leaves the error";
}

TEST(ContentView, ProbesProcessesOnlyAfterItIsOnScreen) {
    ViewHarness harness(otherModel, {"TouchBarServer"});
    harness.view->show();
    EXPECT_TRUE(harness.platform.tools.calls().empty());
    EXPECT_EQ(harness.label("statusLine")->text(), noTouchBar);
    settle();
    EXPECT_EQ(harness.platform.tools.commandLines().first(), "/usr/bin/pgrep -x TouchBarServer");
    EXPECT_EQ(harness.label("statusLine")->text(), ready);
}

TEST(ContentView, HelpOpensTheHelpPageEvenDuringARestart) {
    for (const bool browserWorks : {true, false}) {
        SCOPED_TRACE(browserWorks ? "browser opens" : "browser fails");
        ViewHarness harness(touchBarModel, touchBarProcesses);
        harness.browser.succeeds = browserWorks;
        harness.show();
        harness.whileRestarting([&] { QTest::mouseClick(harness.button("Help"), Qt::LeftButton); });
        QTest::mouseClick(harness.fixButton(), Qt::LeftButton);
        EXPECT_EQ(harness.browser.opened, QList<QUrl>{QUrl("https://corvane.tamberlin.com/help")});
        EXPECT_EQ(harness.alert()->text(), "Success! ✅") << "nothing else is reported";
    }
}

TEST(ContentView, QuitEndsTheApplication) {
    const struct {
        const char* name;
        std::function<void(ViewHarness&)> quit;
    } cases[] = {
        {"Quit button",
         [](ViewHarness& h) {
             QTest::mouseClick(h.button("Quit"), Qt::LeftButton);
         }},
        {"Ctrl+Q",
         [](ViewHarness& h) {
             QTest::keyClick(h.view.get(), Qt::Key_Q, Qt::ControlModifier);
         }},
        {"Escape on the success alert",
         [](ViewHarness& h) {
             QTest::mouseClick(h.fixButton(), Qt::LeftButton);
             QTest::keyClick(h.alert(), Qt::Key_Escape);
         }},
        {"Quit on the success alert",
         [](ViewHarness& h) {
             QTest::mouseClick(h.fixButton(), Qt::LeftButton);
             h.pressAlertButton("Quit");
         }},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ViewHarness harness(touchBarModel, touchBarProcesses);
        harness.show();
        harness.view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(harness.view.get()));
        EXPECT_EQ(exitStatusAfter([&] { testCase.quit(harness); }), 0);
    }
}

TEST(ContentView, WritesNothingToStandardOutput) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::fflush(stdout);
    const int savedOutput = ::dup(STDOUT_FILENO);
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::close(pipeEnds[1]);
    {
        ViewHarness harness(touchBarModel, touchBarProcesses);
        harness.show();
        QTest::mouseClick(harness.fixButton(), Qt::LeftButton);
        harness.pressAlertButton("Fix Again");
        harness.system.running.clear();
        QTest::mouseClick(harness.button("Help"), Qt::LeftButton);
        harness.pressAlertButton("Fix Again");
        harness.pressAlertButton("OK");
        settle();
    }
    std::fflush(stdout);
    ::dup2(savedOutput, STDOUT_FILENO);
    ::close(savedOutput);

    QByteArray written;
    char buffer[256];
    ssize_t count = 0;
    while ((count = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        written.append(buffer, count);
    ::close(pipeEnds[0]);
    EXPECT_EQ(written, QByteArray());
}

TEST(ContentView, KeyboardAndAssistiveTechnologyReachEveryControl) {
    ViewHarness harness(touchBarModel, touchBarProcesses);
    harness.show();
    harness.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(harness.view.get()));

    const auto describe = [](QObject* object) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
        return std::make_tuple(accessible->role(), accessible->text(QAccessible::Name),
                               accessible->state().disabled);
    };
    EXPECT_EQ(describe(harness.fixButton()),
              std::make_tuple(QAccessible::Button, QString("Fix Touch Bar"), false));
    EXPECT_EQ(describe(harness.button("Help")),
              std::make_tuple(QAccessible::Button, QString("Help"), false));
    EXPECT_EQ(describe(harness.button("Quit")),
              std::make_tuple(QAccessible::Button, QString("Quit"), false));
    EXPECT_EQ(describe(harness.label("title")),
              std::make_tuple(QAccessible::StaticText, QString("Corvane"), false));
    EXPECT_EQ(describe(harness.label("statusLine")),
              std::make_tuple(QAccessible::StaticText, ready, false));

    harness.fixButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), harness.button("Help"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(harness.browser.opened.size(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), harness.button("Quit"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), harness.fixButton());

    harness.whileRestarting([&] {
        EXPECT_EQ(describe(harness.fixButton()),
                  std::make_tuple(QAccessible::Button, QString("Fixing Touch Bar..."), true));
    });
    QTest::keyClick(harness.fixButton(), Qt::Key_Space);
    EXPECT_TRUE(harness.alert()) << "Space pressed the fix button";
}
