#include "ui/ContentView.h"
#include "Fakes.h"
#include "core/TouchBarManager.h"
#include "ui/Alerts.h"
#include "ui/FixButton.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// What assistive technology reads of a control: its role, name and whether it is disabled.
QString described(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return QStringLiteral("%1 %2%3").arg(accessible->role() == QAccessible::Button ? "button" : "?",
                                         accessible->text(QAccessible::Name),
                                         accessible->state().disabled ? " (disabled)"
                                                                      : " (enabled)");
}

// An alert as "title | message | what its icon is called | button | ...".
QString shown(const QMessageBox* box) {
    QStringList parts = {box->text(), box->informativeText(),
                         box->findChild<QLabel*>("qt_msgboxex_icon_label")->accessibleName()};
    for (QAbstractButton* button : box->buttons())
        parts << button->text();
    return parts.join(" | ");
}

} // namespace

// A Touch Bar known only by its one service, which runs only once the window is open, as
// assistive technology reads it. (The end-to-end scripts look at the colours, and press the
// buttons and the alerts' buttons.)
TEST(ContentView, LooksFollowTheManagerThroughARestart) {
    fakes::FakeServices fakes;
    fakes.modelQuery = fakes::FakeModelQuery("iMac20,1");
    fakes.system.relaunched = {"TouchBarServer"};
    auto* manager =
        new TouchBarManager(fakes.services(), TouchBarServices::AppleProcesses, nullptr);
    ContentView view(manager);
    const auto detected = [&] {
        QSignalSpy(manager, &TouchBarManager::detectionFinished).wait(5000);
        QTest::qWait(150); // and the 0.1 s transition after it
    };
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    detected();
    auto* fix = view.findChild<ui::FixButton*>();
    const QLabel* status = view.findChild<QLabel*>("statusLine");
    EXPECT_EQ(status->text(), "No Touch Bar detected on this device");
    EXPECT_EQ(described(fix), "button Fix Touch Bar (disabled)");

    fakes.system.start({"TouchBarServer"});
    manager->performFullTouchBarDetection();
    detected();
    EXPECT_EQ(status->text(), "Fix your unresponsive Touch Bar with one click");
    EXPECT_EQ(QApplication::focusWidget(), fix) << "keyboard users start on the fix button";

    QSemaphore waiting, resume;
    fakes.clock.duringSleep = [&] {
        waiting.release();
        resume.tryAcquire(1, 5000); // a failed check below must not hold the worker for good
    };
    QTest::keyClick(fix, Qt::Key_Space);
    ASSERT_TRUE(waiting.tryAcquire(1, 5000));
    QTest::qWait(150);
    EXPECT_EQ(described(fix), "button Fixing Touch Bar... (disabled)");
    QSignalSpy finished(manager, &TouchBarManager::restartFinished);
    resume.release();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(shown(view.findChild<QMessageBox*>()),
              "Success! ✅ | Touch Bar has been successfully restarted!\n\nYour Touch Bar should "
              "now be responsive. If you need to restart it again, click \"Fix Again\" or quit "
              "and relaunch the app. |  | Fix Again | Quit");
    EXPECT_EQ(described(fix), "button Fix Touch Bar (enabled)");
}

// Another copy's alert says what runs, with a warning symbol that is drawn and named.
TEST(Alerts, AnotherCopyIsToldWithOneWarning) {
    // Whatever the checks find, the alert goes within seconds: exec() must not wait for good.
    const QObject test;
    QTimer::singleShot(5000, &test, [] {
        if (auto* alert = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            alert->done(0);
    });
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        EXPECT_EQ(shown(box), "Corvane is Already Running | Another instance of Corvane is "
                              "already running. Please quit the existing instance before "
                              "starting a new one. | Warning | OK");
        const QImage icon = box->iconPixmap().toImage();
        EXPECT_GT(icon.pixelColor(icon.width() / 2, icon.height() * 2 / 3).alpha(), 0);
        box->buttons().front()->click();
    });
    ui::showAlreadyRunningAlert();
}
