#include "ui/ContentView.h"
#include "Fakes.h"
#include "core/TouchBarManager.h"
#include "ui/FixButton.h"

#include <QAbstractAnimation>
#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QSemaphore>
#include <QSignalSpy>
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

// What assistive technology reads of a control: its role, name and whether it is disabled.
QString described(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return QStringLiteral("%1 %2%3").arg(
        accessible->role() == QAccessible::Button ? "button" : "text",
        accessible->text(QAccessible::Name), accessible->state().disabled ? " (disabled)" : "");
}

// Records the addresses the view asks the desktop to open.
struct Browser : QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// A window on a fake machine of model `model`, where processes are relaunched as they end.
struct View {
    fakes::FakeServices fakes;
    Browser browser;
    std::unique_ptr<ContentView> view;

    explicit View(const QByteArray& model) {
        fakes.modelQuery = fakes::FakeModelQuery::answering(model);
        fakes.system.relaunched = {"TouchBarServer"};
        QDesktopServices::setUrlHandler("https", &browser, "open");
        view = std::make_unique<ContentView>(
            new TouchBarManager(fakes.services(), TouchBarServices::AppleProcesses, nullptr));
        view->show();
        view->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
        QSignalSpy(&manager(), &TouchBarManager::detectionFinished).wait(5000);
        settle();
    }
    ~View() { QDesktopServices::unsetUrlHandler("https"); }

    TouchBarManager& manager() const { return view->touchBarManager(); }
    // Lets a 0.1 s transition finish.
    static void settle() { QTest::qWait(150); }
    ui::FixButton* fix() const { return view->findChild<ui::FixButton*>(); }
    QString status() const { return view->findChild<QLabel*>("statusLine")->text(); }
    QAbstractButton* button(const QString& text) const {
        for (auto* button : view->findChildren<QAbstractButton*>())
            if (button->text() == text && button->isVisible())
                return button;
        return nullptr;
    }
    QColor pixel(QPoint point) const {
        return view->grab().toImage().pixelColor(fix()->mapTo(view.get(), point));
    }
    // The alert as "title | message | button | ...", once one is open.
    QString alert() const {
        QMessageBox* box = nullptr;
        for (int tries = 0; tries < 100 && !box; ++tries, QTest::qWait(50))
            for (auto* candidate : view->findChildren<QMessageBox*>())
                box = candidate->isVisible() ? candidate : box;
        if (!box)
            return "no alert";
        QStringList parts = {box->text(), box->informativeText()};
        for (QAbstractButton* button : box->buttons())
            parts << button->text();
        return parts.join(" | ");
    }
};

} // namespace

// A Touch Bar known only by its one service, which runs only once the window is open.
TEST(ContentView, LooksFollowTheManagerAndOnePressIsOneRestart) {
    View h("iMac20,1");
    EXPECT_EQ(h.status(), "No Touch Bar detected on this device");
    EXPECT_EQ(described(h.fix()), "button Fix Touch Bar (disabled)");
    EXPECT_TRUE(near(h.pixel(inside), gray));

    h.fakes.system.start({"TouchBarServer"});
    h.manager().performFullTouchBarDetection();
    QSignalSpy(&h.manager(), &TouchBarManager::detectionFinished).wait(5000);
    View::settle();
    EXPECT_EQ(h.status(), ready);
    EXPECT_EQ(QApplication::focusWidget(), h.fix()) << "keyboard users start on the fix button";
    const QColor top = h.pixel(nearTop);
    EXPECT_TRUE(near(top, blue));
    EXPECT_GT(h.pixel(nearBottom).red() - top.red(), 25) << "lighter towards the bottom";
    EXPECT_TRUE(near(h.pixel(edge), h.pixel(inside))) << "full size";

    QSemaphore waiting, resume;
    h.fakes.clock.duringSleep = [&] {
        waiting.release();
        resume.acquire();
    };
    // A burst of presses where the keyboard focus is: the first restarts, the others do nothing.
    for (int press = 0; press < 5; ++press)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(waiting.tryAcquire(1, 5000));
    View::settle();
    EXPECT_EQ(described(h.fix()), "button Fixing Touch Bar... (disabled)");
    EXPECT_TRUE(near(h.pixel(inside), orange));
    EXPECT_GT(h.pixel(edge).blue(), 200) << "shrunk to 0.98";
    QTest::mouseClick(h.button("Help"), Qt::LeftButton);
    EXPECT_EQ(h.browser.opened, QList<QUrl>{QUrl("https://corvane.tamberlin.com/help")});
    resume.release();

    EXPECT_EQ(h.alert(), "Success! ✅ | Touch Bar has been successfully restarted!\n\nYour Touch "
                         "Bar should now be responsive. If you need to restart it again, click "
                         "\"Fix Again\" or quit and relaunch the app. | Fix Again | Quit");
    EXPECT_EQ(h.manager().restartCount(), 1);
    EXPECT_EQ(h.fakes.output.text().count("TOUCH BAR RESTART INITIATED"), 1);
    EXPECT_EQ(h.browser.opened.size(), 1) << "a press reached Help";
    QTest::mouseClick(h.button("Fix Again"), Qt::LeftButton);
    ASSERT_TRUE(waiting.tryAcquire(1, 5000));
    resume.release();
    EXPECT_TRUE(h.alert().startsWith("Success! ✅"));
    EXPECT_EQ(h.manager().restartCount(), 2);
}

// TouchBarServer belongs to root: the error offers the administrator's way, whose Escape is
// Cancel; a success alert's Escape quits.
TEST(ContentView, ARefusedRestartOffersTheAdministratorsWay) {
    View h("MacBookPro16,1");
    h.fakes.system.processes = {{"TouchBarServer", 7, 0}};
    QTest::mouseClick(h.fix(), Qt::LeftButton);
    EXPECT_EQ(h.alert(), "Error ❌ | Restarting TouchBarServer needs an administrator: the Touch "
                         "Bar service belongs to the system. | Restart as Administrator | Cancel");
    QTest::mouseClick(h.button("Restart as Administrator"), Qt::LeftButton);
    EXPECT_TRUE(h.alert().startsWith("Success! ✅"));
    EXPECT_TRUE(h.fakes.output.text().contains("Running: /usr/bin/pkexec /usr/bin/pkill -x "
                                               "TouchBarServer"));

    QTimer::singleShot(0,
                       [&] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST(FixButton, OnlyARestartChangesTheLookOverATenthOfASecond) {
    ui::FixButton button;
    button.resize(308, 56);
    button.show();
    const auto top = [&] {
        return button.grab().toImage().pixelColor(nearTop);
    };
    struct Clock final : QAnimationDriver {
        Clock() { install(); }
        ~Clock() override { uninstall(); }
        qint64 elapsed() const override { return now; }
        void advanceBy(qint64 milliseconds) {
            // Animations that just started join through queued calls, at the current time.
            for (int hop = 0; hop < 3; ++hop) {
                QCoreApplication::processEvents();
                advance();
            }
            now += milliseconds;
            advance();
        }
        qint64 now = 0;
    } clock;

    button.showState(false, true);
    EXPECT_TRUE(near(top(), blue)) << "a Touch Bar appearing shows at once";
    button.showState(true, true);
    clock.advanceBy(50);
    EXPECT_FALSE(near(top(), blue, 30) || near(top(), orange, 30));
    clock.advanceBy(60);
    EXPECT_TRUE(near(top(), orange));
}

#include "ContentViewTest.moc"
