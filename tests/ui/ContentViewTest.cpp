#include "ui/ContentView.h"
#include "Fakes.h"
#include "core/AfterWake.h"
#include "core/TouchBarManager.h"
#include "platform/WakeWatcher.h"
#include "ui/Alerts.h"
#include "ui/FixButton.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QString logind = "org.freedesktop.login1";

// Status line, fix button as assistive technology reads it ("-": disabled), open alert's parts.
QString shown(const QWidget* window) {
    QStringList parts;
    if (auto* fix = QAccessible::queryAccessibleInterface(window->findChild<ui::FixButton*>()))
        parts << window->findChild<QLabel*>("statusLine")->text()
              << fix->text(QAccessible::Name) + (fix->state().disabled ? "-" : "");
    for (QWidget* alert : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(alert); box && box->isVisible()) {
            parts << box->text() << box->informativeText()
                  << box->findChild<QLabel*>("qt_msgboxex_icon_label")->accessibleName();
            for (QAbstractButton* button : box->buttons())
                parts << button->text();
        }
    return parts.join(" | ");
}

} // namespace

// A Touch Bar known only by its service, which runs once the window is open; no bus to hear wakes.
TEST(ContentView, LooksFollowTheManagerThroughARestart) {
    fakes::FakeServices fakes;
    fakes.modelQuery = fakes::FakeModelQuery("iMac20,1");
    fakes.system.relaunched = {"TouchBarServer"};
    auto* manager = new TouchBarManager(fakes.services(), appleServices(), nullptr);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    ContentView view(manager,
                     new AfterWake(*manager, fakes.clock, new WakeWatcher(fakes.output.log)));
    QSignalSpy detected(manager, &TouchBarManager::detectionFinished);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view) && detected.wait(5000));
    QTest::qWait(150); // and the 0.1 s transition after it
    EXPECT_EQ(shown(&view), "No Touch Bar detected on this device | Fix Touch Bar-");
    fakes.system.start({"TouchBarServer"});
    manager->performFullTouchBarDetection();
    ASSERT_TRUE(detected.wait(5000));
    QTest::qWait(150);
    EXPECT_EQ(QApplication::focusWidget(), view.findChild<ui::FixButton*>());
    QSignalSpy finished(manager, &TouchBarManager::restartFinished);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    const QString ready = "Fix your unresponsive Touch Bar with one click | Fix";
    EXPECT_EQ(shown(&view), ready + "ing Touch Bar...-"); // the worker's end waits for our events
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(shown(&view),
              ready + R"( Touch Bar | Success! ✅ | Touch Bar has been successfully restarted!

Your Touch Bar should now be responsive. If you need to restart it again, click "Fix Again" or quit and relaunch the app. |  | Fix Again | Quit)");
    EXPECT_EQ(fakes.output.text().count("The machine waking from sleep goes unheard"), 1);

    // The report reaches the clipboard from the manager's thread, and the button says so.
    auto* copy = view.findChild<QAbstractButton*>("copyReport");
    QSignalSpy read(manager, &TouchBarManager::reportRead);
    copy->click();
    ASSERT_TRUE(read.wait(5000));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("- TouchBarServer: running\n"));
    EXPECT_EQ(copy->text() + (copy->isEnabled() ? "" : "-"), "Copied-");
    EXPECT_TRUE(QTest::qWaitFor([&] { return copy->text() == "Copy Report"; }, 3000));
}

// logind on a bus of our own, starting after the window: sleep is no wake, nor is a stranger's
// signal; wakes close together read the health once, and offer the fix; how long the machine
// slept is known only once its going to sleep was heard.
TEST(ContentView, OffersTheFixWhenTheTouchBarIsNotWorkingAfterWake) {
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForReadyRead(5000)) << "dbus-daemon did not start";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    fakes::FakeServices fakes;
    auto* manager = new TouchBarManager(fakes.services(), appleServices(), nullptr);
    auto* wake = new WakeWatcher(fakes.output.log);
    auto* afterWake = new AfterWake(*manager, fakes.clock, wake);
    ContentView view(manager, afterWake);
    std::vector<std::optional<std::chrono::seconds>> slept;
    QObject::connect(afterWake, &AfterWake::healthRead,
                     [&](const Health&, auto asleep) { slept.push_back(asleep); });
    view.show();
    ASSERT_TRUE(QSignalSpy(manager, &TouchBarManager::detectionFinished).wait(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.output.text().contains("until logind"); }));
    ASSERT_TRUE(QDBusConnection::connectToBus(address, "logind").registerService(logind));
    QSignalSpy woke(wake, &WakeWatcher::woke), read(manager, &TouchBarManager::healthChanged);
    const auto send = [](const QString& from, bool sleeping) {
        const QString path = "/" + logind.split('.').join('/');
        QDBusConnection(from).send(
            QDBusMessage::createSignal(path, logind + ".Manager", "PrepareForSleep") << sleeping);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return send("logind", false), woke.count() > 0; }));
    QTest::qWait(200); // for the wakes still on their way
    const qsizetype heard = woke.count();
    send(QDBusConnection::connectToBus(address, "stranger").name(), false);
    send("logind", true);
    EXPECT_TRUE(read.wait(5000) && !read.wait(300) && woke.count() == heard);
    EXPECT_EQ(
        shown(&view),
        R"(The Touch Bar's service is not running: TouchBarServer is not running. | Fix Touch Bar | The Touch Bar is not working after wake | The Touch Bar's service is not running: TouchBarServer is not running. |  | Fix Touch Bar | Not Now)");
    fakes.clock.sleep(std::chrono::minutes(90));
    send("logind", false);
    EXPECT_TRUE(read.wait(5000));
    EXPECT_EQ(slept, (std::vector<std::optional<std::chrono::seconds>>{
                         std::nullopt, std::chrono::seconds(5400)}));
}

TEST(Alerts, AnotherCopyIsToldWithOneWarningThatIsDrawnAndNamed) {
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        const QImage icon = box->iconPixmap().toImage();
        EXPECT_GT(icon.pixelColor(icon.width() / 2, icon.height() * 2 / 3).alpha(), 0);
        EXPECT_EQ(
            shown(box),
            R"(Corvane is Already Running | Another instance of Corvane is already running. Please quit the existing instance before starting a new one. | Warning | OK)");
        box->buttons().front()->click();
    });
    ui::showAlreadyRunningAlert();
}
