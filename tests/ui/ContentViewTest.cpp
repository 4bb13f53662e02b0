#include "ui/ContentView.h"
#include "Fakes.h"
#include "core/TouchBarManager.h"
#include "platform/WakeWatcher.h"
#include "ui/Alerts.h"
#include "ui/FixButton.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDBusMessage>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
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
    auto* manager = new TouchBarManager(fakes.services(), appleServices(), nullptr);
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

// The machine sleeps and wakes, as logind tells it on a system bus of the test's own, to a
// window whose Touch Bar then is not working: one reading of the health a few seconds after
// the wake, the status line says what is wrong, and the fix is offered but not run. A window
// with no bus to listen on says so once, and the wake goes unheard.
TEST(ContentView, OffersTheFixWhenTheTouchBarIsNotWorkingAfterWake) {
    QTemporaryDir folder;
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                              "--address=unix:path=" + folder.filePath("bus")});
    ASSERT_TRUE(bus.waitForReadyRead(5000)) << "dbus-daemon did not start";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));

    for (const QString& listened : {address, "unix:path=" + folder.filePath("none")}) {
        SCOPED_TRACE(listened.toStdString());
        const bool heard = listened == address;
        fakes::FakeServices fakes;
        auto* manager = new TouchBarManager(fakes.services(), appleServices(), nullptr);
        ContentView view(manager, new WakeWatcher(QDBusConnection::connectToBus(listened, listened),
                                                  fakes.output.log));
        view.show();
        ASSERT_TRUE(QSignalSpy(manager, &TouchBarManager::detectionFinished).wait(5000));
        QSignalSpy read(manager, &TouchBarManager::healthChanged);
        for (const bool sleeping : {true, false}) {
            logind.send(QDBusMessage::createSignal("/org/freedesktop/login1",
                                                   "org.freedesktop.login1.Manager",
                                                   "PrepareForSleep")
                        << sleeping);
            QTest::qWait(3500);
            EXPECT_EQ(read.count(), heard && !sleeping ? 1 : 0) << "going to sleep: " << sleeping;
        }
        EXPECT_EQ(fakes.output.text().count("The machine waking from sleep goes unheard"),
                  heard ? 0 : 1);
        auto* alert = view.findChild<QMessageBox*>();
        ASSERT_EQ(alert != nullptr, heard);
        if (!heard)
            continue;
        const QString health =
            "The Touch Bar's service is not running: TouchBarServer is not running.";
        EXPECT_EQ(shown(alert), "The Touch Bar is not working after wake | " + health +
                                    " |  | Fix Touch Bar | Not Now");
        EXPECT_EQ(view.findChild<QLabel*>("statusLine")->text(), health);
        EXPECT_EQ(described(view.findChild<ui::FixButton*>()), "button Fix Touch Bar (enabled)");
        EXPECT_FALSE(manager->isRestarting());
    }
    for (const QString& name : {address, "unix:path=" + folder.filePath("none"), QString("logind")})
        QDBusConnection::disconnectFromBus(name);
    bus.kill();
    bus.waitForFinished();
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
