#include "ContentView.h"
#include "Fakes.h"
#include "FixButton.h"
#include "OutputCapture.h"
#include "TouchBarManager.h"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QString ready = "Fix your unresponsive Touch Bar with one click";
const QColor blue(0x00, 0x7A, 0xFF), orange(0xFF, 0x95, 0x00), gray(0x8E, 0x8E, 0x93);
// Points of the 308 × 56 fix button: near its top and bottom edges beside the caption, just
// inside its left edge (outside it once shrunk to 0.98), and a little further in.
const QPoint nearTop(40, 5), nearBottom(40, 50), edge(1, 28), inside(6, 28);

::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 8) {
    const int distance = std::max({std::abs(actual.red() - expected.red()),
                                   std::abs(actual.green() - expected.green()),
                                   std::abs(actual.blue() - expected.blue())});
    return (distance <= tolerance ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << actual.name().toStdString() << " against " << expected.name().toStdString();
}

using Description = std::tuple<QAccessible::Role, QString, bool>;

Description describe(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return {accessible->role(), accessible->text(QAccessible::Name), accessible->state().disabled};
}

// A view on a fake machine where `running` run and come back when terminated.
struct View {
    fakes::FakePlatform platform;
    fakes::FakeSystem system;
    fakes::RecordingUrlOpener browser;
    std::unique_ptr<ContentView> view;

    explicit View(const QByteArray& model, const QStringList& running = {"TouchBarServer"}) {
        platform.modelQuery = fakes::FakeModelQuery::answering(model);
        system.running = system.relaunched = running;
        platform.tools.setScript(system.script());
        view = std::make_unique<ContentView>(platform.services(), browser);
    }
    // Lets queued refreshes run and a 0.1 s transition finish.
    static void settle() { QTest::qWait(200); }
    void show() {
        view->show();
        view->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
        settle();
    }

    ui::FixButton* fix() const { return view->findChild<ui::FixButton*>(); }
    QLabel* label(const char* name) const { return view->findChild<QLabel*>(name); }
    // The visible button titled `text`, in the view or its alert.
    QAbstractButton* button(const QString& text) const {
        for (auto* button : view->findChildren<QAbstractButton*>())
            if (button->text() == text && button->isVisible())
                return button;
        return nullptr;
    }
    void click(const QString& text) {
        QTest::mouseClick(button(text), Qt::LeftButton);
        settle();
    }
    QColor pixel(QPoint point) const {
        return view->grab().toImage().pixelColor(fix()->mapTo(view.get(), point));
    }

    QMessageBox* alert() const {
        auto* box = view->findChild<QMessageBox*>();
        return box && box->isVisible() ? box : nullptr;
    }
    // The alert as "title | message | button | ...".
    QString shown() const {
        if (!alert())
            return "no alert";
        QStringList parts = {alert()->text(), alert()->informativeText()};
        for (QAbstractButton* button : alert()->buttons())
            parts << button->text();
        return parts.join(" | ");
    }
};

// Animation time that moves only when the test says so.
struct ManualAnimationDriver final : QAnimationDriver {
    ManualAnimationDriver() { install(); }
    ~ManualAnimationDriver() override { uninstall(); }
    qint64 elapsed() const override { return now; }
    qint64 now = 0;
    void advanceBy(qint64 milliseconds) {
        // Animations that just started join through queued calls, at the current time.
        for (int hop = 0; hop < 3; ++hop) {
            QCoreApplication::processEvents();
            advance();
        }
        now += milliseconds;
        advance();
    }
};

} // namespace

// A Touch Bar known only by its one service, which is away when a restart was tried before
// the window opened and vanishes for good during the restart from the window.
TEST(ContentView, LooksAndAlertsFollowTheManagerFromTheFirstFrameThroughARestart) {
    View h("iMac20,1", {});
    h.view->touchBarManager().restartTouchBar([](TouchBarResult) {});
    h.system.running = {"TouchBarServer"};
    h.view->show();
    EXPECT_EQ(h.platform.tools.calls().size(), 2u) << "the restart's probes, none before a frame";
    h.show();
    EXPECT_EQ(h.shown(), "Warning ⚠️ | This device doesn't have a Touch Bar | OK");
    h.click("OK");

    EXPECT_EQ(h.label("statusLine")->text(), ready);
    const QColor top = h.pixel(nearTop);
    EXPECT_TRUE(near(top, blue));
    EXPECT_GT(h.pixel(nearBottom).red() - top.red(), 25) << "lighter towards the bottom";
    EXPECT_TRUE(near(h.pixel(edge), h.pixel(inside))) << "full size";

    h.browser.succeeds = false;
    h.platform.sleeper.duringSleep = [&] { // while isRestarting
        View::settle();
        EXPECT_EQ(describe(h.fix()), Description(QAccessible::Button, "Fixing Touch Bar...", true));
        EXPECT_TRUE(near(h.pixel(inside), orange));
        EXPECT_GT(h.pixel(edge).blue(), 200) << "shrunk to 0.98";
        h.view->touchBarManager().performFullTouchBarDetection();
        View::settle();
        EXPECT_EQ(h.label("statusLine")->text(), "No Touch Bar detected on this device");
        EXPECT_TRUE(near(h.pixel(inside), orange)) << "until the restart ends";
        h.click("Help");
        EXPECT_EQ(h.shown(), "no alert") << "a browser failure is not reported";
    };
    h.click("Fix Touch Bar");
    EXPECT_EQ(h.browser.opened, QList<QUrl>{QUrl("https://corvane.tamberlin.com/help")});
    EXPECT_EQ(h.shown(), "Error ❌ | Failed to restart Touch Bar service | OK");
    EXPECT_EQ(describe(h.fix()), Description(QAccessible::Button, "Fix Touch Bar", true));
    EXPECT_TRUE(near(h.pixel(inside), gray) && near(h.pixel(nearBottom), gray));
}

// On the way, nothing reaches standard output.
TEST(ContentView, KeyboardAndAssistiveTechnologyReachEveryControlFixAgainReopensEscapeQuits) {
    const QByteArray output = corvane::testing::outputOf([] {
        View h("iMac20,1");
        h.show();
        for (const QString text : {"Fix Touch Bar", "Help", "Quit"})
            EXPECT_EQ(describe(h.button(text)), Description(QAccessible::Button, text, false));
        EXPECT_EQ(describe(h.label("title")),
                  Description(QAccessible::StaticText, "Corvane", false));
        EXPECT_EQ(describe(h.label("statusLine")),
                  Description(QAccessible::StaticText, ready, false));

        QTest::keyClick(h.button("Help"), Qt::Key_Space);
        EXPECT_EQ(h.browser.opened.size(), 1);
        h.fix()->setFocus(Qt::TabFocusReason);
        for (const QString next : {"Help", "Quit", "Fix Touch Bar"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), h.button(next));
        }
        h.platform.sleeper.duringSleep = [&] {
            View::settle();
            EXPECT_EQ(describe(h.fix()),
                      Description(QAccessible::Button, "Fixing Touch Bar...", true));
        };
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        EXPECT_EQ(h.shown(),
                  "Success! ✅ | Touch Bar has been successfully restarted!\n\nYour Touch "
                  "Bar should now be responsive. If you need to restart it again, click "
                  "\"Fix Again\" or quit and relaunch the app. | Fix Again | Quit");

        h.click("Fix Again");
        EXPECT_EQ(h.view->touchBarManager().restartCount(), 2);
        EXPECT_EQ(h.view->findChildren<QMessageBox*>().size(), 1) << "the first alert is gone";
        QTimer::singleShot(0, [&] { QTest::keyClick(h.alert(), Qt::Key_Escape); });
        QTimer::singleShot(5000, h.view.get(), [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    });
    EXPECT_EQ(QString::fromUtf8(output), QString());
}

TEST(FixButton, OnlyARestartChangesTheLookOverATenthOfASecond) {
    View h("iMac20,1", {});
    h.show();
    ManualAnimationDriver clock;

    h.fix()->showState(false, true);
    EXPECT_TRUE(near(h.pixel(nearTop), blue)) << "a Touch Bar appearing shows at once";
    h.fix()->showState(true, true);
    clock.advanceBy(50);
    EXPECT_FALSE(near(h.pixel(nearTop), blue, 30) || near(h.pixel(nearTop), orange, 30));
    clock.advanceBy(60);
    EXPECT_TRUE(near(h.pixel(nearTop), orange));
}
