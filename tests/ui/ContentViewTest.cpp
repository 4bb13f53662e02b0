#include "ui/ContentView.h"
#include "Fakes.h"
#include "core/TouchBarManager.h"
#include "ui/Alerts.h"
#include "ui/FixButton.h"

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

// A window on a fake machine of model `model`, where TouchBarServer is relaunched as it ends.
struct View {
    fakes::FakeServices fakes;
    std::unique_ptr<ContentView> view;

    explicit View(const QByteArray& model) {
        fakes.modelQuery = fakes::FakeModelQuery(model);
        fakes.system.relaunched = {"TouchBarServer"};
        view = std::make_unique<ContentView>(
            new TouchBarManager(fakes.services(), TouchBarServices::AppleProcesses, nullptr));
        view->show();
        view->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
        detected();
    }
    TouchBarManager& manager() const { return view->touchBarManager(); }
    // Waits for a detection to end and a 0.1 s transition after it.
    void detected() const {
        QSignalSpy(&manager(), &TouchBarManager::detectionFinished).wait(5000);
        QTest::qWait(150);
    }
    ui::FixButton* fix() const { return view->findChild<ui::FixButton*>(); }
    QString status() const { return view->findChild<QLabel*>("statusLine")->text(); }
    // The alert as "title | message | button | ...".
    QString alert() const {
        auto* box = view->findChild<QMessageBox*>();
        QStringList parts = {box->text(), box->informativeText()};
        for (QAbstractButton* button : box->buttons())
            parts << button->text();
        return parts.join(" | ");
    }
};

} // namespace

// A Touch Bar known only by its one service, which runs only once the window is open, as
// assistive technology reads it. (The end-to-end scripts look at the colours, and press the
// buttons and the alerts' buttons.)
TEST(ContentView, LooksFollowTheManagerThroughARestart) {
    View h("iMac20,1");
    EXPECT_EQ(h.status(), "No Touch Bar detected on this device");
    EXPECT_EQ(described(h.fix()), "button Fix Touch Bar (disabled)");

    h.fakes.system.start({"TouchBarServer"});
    h.manager().performFullTouchBarDetection();
    h.detected();
    EXPECT_EQ(h.status(), "Fix your unresponsive Touch Bar with one click");
    EXPECT_EQ(QApplication::focusWidget(), h.fix()) << "keyboard users start on the fix button";

    QSemaphore waiting, resume;
    h.fakes.clock.duringSleep = [&] {
        waiting.release();
        resume.acquire();
    };
    QTest::keyClick(h.fix(), Qt::Key_Space);
    ASSERT_TRUE(waiting.tryAcquire(1, 5000));
    QTest::qWait(150);
    EXPECT_EQ(described(h.fix()), "button Fixing Touch Bar... (disabled)");
    QSignalSpy finished(&h.manager(), &TouchBarManager::restartFinished);
    resume.release();
    ASSERT_TRUE(finished.wait(5000));

    EXPECT_EQ(h.alert(), "Success! ✅ | Touch Bar has been successfully restarted!\n\nYour Touch "
                         "Bar should now be responsive. If you need to restart it again, click "
                         "\"Fix Again\" or quit and relaunch the app. | Fix Again | Quit");
    EXPECT_EQ(described(h.fix()), "button Fix Touch Bar (enabled)");
}

// Another copy's alert says what runs, with a warning symbol that is drawn and named.
TEST(Alerts, AnotherCopyIsToldWithOneWarning) {
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        shown = box->text() + " | " + box->informativeText() + " | " +
                box->findChild<QLabel*>("qt_msgboxex_icon_label")->accessibleName() + " | " +
                box->buttons().front()->text();
        const QImage icon = box->iconPixmap().toImage();
        EXPECT_GT(icon.pixelColor(icon.width() / 2, icon.height() * 2 / 3).alpha(), 0);
        box->buttons().front()->click();
    });
    ui::showAlreadyRunningAlert();
    EXPECT_EQ(shown, "Corvane is Already Running | Another instance of Corvane is already running. "
                     "Please quit the existing instance before starting a new one. | Warning | OK");
}
