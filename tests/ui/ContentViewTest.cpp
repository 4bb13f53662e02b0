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
const QColor blue(0x00, 0x7A, 0xFF);
const QColor orange(0xFF, 0x95, 0x00);
const QColor gray(0x8E, 0x8E, 0x93);

// Points of the 308 × 56 fix button: near its top and bottom edges beside the caption, just
// inside its left edge (outside it once shrunk to 0.98), and a little further in.
const QPoint nearTop(40, 5);
const QPoint nearBottom(40, 50);
const QPoint edge(1, 28);
const QPoint inside(6, 28);

// Everything written to standard output while it lives.
class OutputCapture {
public:
    OutputCapture() {
        EXPECT_EQ(::pipe(ends), 0);
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    }
    ~OutputCapture() {
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(ends[0]);
    }
    QByteArray written() {
        std::fflush(stdout);
        QByteArray bytes;
        char buffer[256];
        for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, count);
        return bytes;
    }

private:
    int ends[2] = {-1, -1};
    int saved = -1;
};

} // namespace

TEST(ContentView, LooksFollowTheManager) {
    const struct {
        const char* name;
        QByteArray model;
        QStringList running;
        bool touchBar;
    } cases[] = {
        {"model without a Touch Bar", otherModel, {}, false},
        {"Touch Bar model", touchBarModel, {}, true},
        {"Touch Bar found by its processes on appearance", otherModel, {"TouchBarServer"}, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ViewHarness harness(testCase.model, testCase.running);
        harness.show();

        EXPECT_EQ(harness.label("title")->text(), "Corvane");
        EXPECT_EQ(harness.label("statusLine")->text(), testCase.touchBar ? ready : noTouchBar);
        EXPECT_EQ(harness.fixButton()->text(), "Fix Touch Bar");
        EXPECT_EQ(harness.fixButton()->isEnabled(), testCase.touchBar);
        EXPECT_EQ(harness.fixButton()->size(), QSize(308, 56));
        EXPECT_TRUE(harness.button("Help")->isEnabled() && harness.button("Quit")->isEnabled());

        const QColor top = harness.buttonPixel(nearTop);
        const QColor bottom = harness.buttonPixel(nearBottom);
        if (testCase.touchBar) {
            // Blue at the top, 80 % blue over white at the bottom.
            EXPECT_TRUE(near(top, blue, 8));
            EXPECT_GT(bottom.red() - top.red(), 25);
            EXPECT_GE(bottom.blue(), 250);
        } else {
            EXPECT_TRUE(near(top, gray) && near(bottom, gray));
        }
        EXPECT_TRUE(near(harness.buttonPixel(edge), harness.buttonPixel(inside))) << "full size";
    }
}

TEST(ContentView, RestartLookAndStatusLineFollowTheManagerWhileItRuns) {
    // Detected through its processes, which vanish for good in the middle of the restart.
    ViewHarness harness(otherModel, {"TouchBarServer"});
    harness.system.relaunched.clear();
    harness.show();
    harness.whileRestarting([&] {
        EXPECT_EQ(harness.fixButton()->text(), "Fixing Touch Bar...");
        EXPECT_FALSE(harness.fixButton()->isEnabled());
        EXPECT_TRUE(near(harness.buttonPixel(inside), orange));
        EXPECT_GT(harness.buttonPixel(edge).blue(), 200) << "shrunk to 0.98";

        harness.view->touchBarManager().performFullTouchBarDetection();
        settle();
        EXPECT_EQ(harness.label("statusLine")->text(), noTouchBar) << "changes at once";
        EXPECT_TRUE(near(harness.buttonPixel(inside), orange)) << "until the restart ends";
    });
    harness.click(harness.fixButton());
    settle();
    EXPECT_EQ(harness.fixButton()->text(), "Fix Touch Bar");
    EXPECT_FALSE(harness.fixButton()->isEnabled());
    EXPECT_TRUE(near(harness.buttonPixel(inside), gray));
}

TEST(ContentView, AlertReportsTheRestartOutcome) {
    const struct {
        const char* name;
        QByteArray model;
        QStringList relaunched;
        bool vanishBeforeRestart;
        QString title;
        QString message;
        QStringList buttons;
    } cases[] = {
        {"success",
         touchBarModel,
         touchBarProcesses,
         false,
         "Success! ✅",
         "Touch Bar has been successfully restarted!\n\nYour Touch Bar should now be responsive. "
         "If you need to restart it again, click \"Fix Again\" or quit and relaunch the app.",
         {"Fix Again", "Quit"}},
        {"server not back",
         touchBarModel,
         {"ControlStrip"},
         false,
         "Error ❌",
         "Failed to restart Touch Bar service",
         {"OK"}},
        {"no Touch Bar at restart time",
         otherModel,
         {},
         true,
         "Error ❌",
         "This device doesn't have a Touch Bar",
         {"OK"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ViewHarness harness(testCase.model, {"TouchBarServer", "ControlStrip"});
        harness.system.relaunched = testCase.relaunched;
        harness.show();
        ASSERT_FALSE(harness.alert());
        if (testCase.vanishBeforeRestart)
            harness.system.running.clear();

        harness.click(harness.fixButton());

        ASSERT_TRUE(harness.alert());
        EXPECT_EQ(harness.alert()->text(), testCase.title);
        EXPECT_EQ(harness.alert()->informativeText(), testCase.message);
        EXPECT_EQ(harness.alertButtons(), testCase.buttons);
        EXPECT_EQ(harness.alert()->windowModality(), Qt::WindowModal);
    }
}

TEST(ContentView, FixAgainRestartsAndReopensWithTheNewOutcomeWritingNothing) {
    OutputCapture output;
    ViewHarness harness(touchBarModel, touchBarProcesses);
    harness.show();
    harness.click(harness.fixButton());
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
    EXPECT_EQ(harness.alert()->text(), "Error ❌");
    EXPECT_EQ(harness.alertButtons(), QStringList{"OK"});
    EXPECT_EQ(harness.view->findChildren<QMessageBox*>().size(), 1) << "the first alert is gone";

    harness.click(harness.button("Help"));
    harness.pressAlertButton("OK");
    settle();
    EXPECT_FALSE(harness.alert());
    EXPECT_EQ(terminations(), 12);
    EXPECT_EQ(output.written(), QByteArray());
}

TEST(ContentView, OnAppearanceWarnsOfARecordedErrorAndProbesAfterTheFirstFrame) {
    ViewHarness harness(otherModel, {"TouchBarServer"});
    harness.system.running.clear();
    harness.view->touchBarManager().restartTouchBar([](TouchBarResult) {});
    ASSERT_TRUE(harness.view->touchBarManager().lastError());
    harness.system.running = {"TouchBarServer"};
    const auto probes = harness.platform.tools.calls().size();

    harness.view->show();
    EXPECT_EQ(harness.platform.tools.calls().size(), probes) << "nothing runs before the frame";
    settle();

    EXPECT_GT(harness.platform.tools.calls().size(), probes);
    EXPECT_EQ(harness.label("statusLine")->text(), ready);
    ASSERT_TRUE(harness.alert());
    EXPECT_EQ(harness.alert()->text(), "Warning ⚠️");
    EXPECT_EQ(harness.alert()->informativeText(), "This device doesn't have a Touch Bar");
    EXPECT_EQ(harness.alertButtons(), QStringList{"OK"});
    harness.pressAlertButton("OK");
    EXPECT_TRUE(harness.view->touchBarManager().lastError()) << "the warning keeps the error";
}

TEST(ContentView, HelpOpensTheHelpPageDuringARestart) {
    ViewHarness harness(touchBarModel, touchBarProcesses);
    harness.browser.succeeds = false;
    harness.show();
    harness.whileRestarting([&] { harness.click(harness.button("Help")); });
    harness.click(harness.fixButton());
    EXPECT_EQ(harness.browser.opened, QList<QUrl>{QUrl("https://corvane.tamberlin.com/help")});
    EXPECT_EQ(harness.alert()->text(), "Success! ✅") << "a browser failure is not reported";
}

TEST(ContentView, QuitEndsTheApplication) {
    const struct {
        const char* name;
        std::function<void(ViewHarness&)> quit;
    } cases[] = {
        {"Quit button",
         [](ViewHarness& h) {
             h.click(h.button("Quit"));
         }},
        {"Ctrl+Q",
         [](ViewHarness& h) {
             QTest::keyClick(h.view.get(), Qt::Key_Q, Qt::ControlModifier);
         }},
        {"Escape on the success alert",
         [](ViewHarness& h) {
             h.click(h.fixButton());
             QTest::keyClick(h.alert(), Qt::Key_Escape);
         }},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ViewHarness harness(touchBarModel, touchBarProcesses);
        harness.show();
        harness.view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(harness.view.get()));
        QTimer giveUp;
        QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        giveUp.start(5000);
        QTimer::singleShot(0, [&] { testCase.quit(harness); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }
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
    using Description = std::tuple<QAccessible::Role, QString, bool>;
    EXPECT_EQ(describe(harness.fixButton()),
              Description(QAccessible::Button, "Fix Touch Bar", false));
    EXPECT_EQ(describe(harness.button("Help")), Description(QAccessible::Button, "Help", false));
    EXPECT_EQ(describe(harness.button("Quit")), Description(QAccessible::Button, "Quit", false));
    EXPECT_EQ(describe(harness.label("title")),
              Description(QAccessible::StaticText, "Corvane", false));
    EXPECT_EQ(describe(harness.label("statusLine")),
              Description(QAccessible::StaticText, ready, false));

    harness.fixButton()->setFocus(Qt::TabFocusReason);
    const auto press = [](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
    };
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), harness.button("Help"));
    press(Qt::Key_Space);
    EXPECT_EQ(harness.browser.opened.size(), 1);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), harness.button("Quit"));
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), harness.fixButton());

    harness.whileRestarting([&] {
        EXPECT_EQ(describe(harness.fixButton()),
                  Description(QAccessible::Button, "Fixing Touch Bar...", true));
    });
    press(Qt::Key_Space);
    EXPECT_TRUE(harness.alert()) << "Space pressed the fix button";
}
