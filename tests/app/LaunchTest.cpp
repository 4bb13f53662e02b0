#include "Fakes.h"
#include "app/AppDelegate.h"
#include "platform/InstanceLock.h"
#include "ui/ContentView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;

namespace {

// Finishes launching inside the event loop, as the application does; whether it quit.
bool launch(AppDelegate& delegate) {
    QTimer::singleShot(0, &delegate, [&] { delegate.applicationDidFinishLaunching(); });
    QTimer::singleShot(3000, &delegate, [] { QCoreApplication::exit(99); });
    return QCoreApplication::exec() == 0;
}

} // namespace

TEST(Launch, AnotherCopyEndsItWithOneWarningOtherwiseOneFixedWindowHoldsTheView) {
    QTemporaryDir folder;
    const QStringList folders = {folder.path()};
    fakes::FakeServices fakes;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        InstanceLock lock("corvane.lock", folders);
        lock.lock();
        (void)!::write(ready[1], "y", 1);
        ::pause();
        ::_exit(0);
    }
    char locked = 0;
    ASSERT_EQ(::read(ready[0], &locked, 1), 1);
    InstanceLock lock("corvane.lock", folders);

    QString shown;
    QTimer::singleShot(500, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        shown = QStringList{box->text(), box->informativeText(),
                            box->findChild<QLabel*>("qt_msgboxex_icon_label")->accessibleName(),
                            box->buttons().front()->text()}
                    .join(" | ");
        EXPECT_FALSE(box->iconPixmap().toImage().isNull());
        box->buttons().front()->click();
    });
    AppDelegate guarded(fakes.services(), TouchBarServices::AppleProcesses, nullptr, lock);
    EXPECT_TRUE(launch(guarded));
    EXPECT_EQ(shown, "Corvane is Already Running | Another instance of Corvane is already running. "
                     "Please quit the existing instance before starting a new one. | Warning | OK");
    EXPECT_EQ(guarded.window(), nullptr);
    const QString pid = QString::number(QCoreApplication::applicationPid());
    EXPECT_EQ(fakes.output.lines(),
              (QStringList{"🔍 Single instance check:", "   Current PID: " + pid,
                           "   Bundle ID: com.tamberlin.corvane", "   Existing instances: 1",
                           "   Found existing: PID " + QString::number(other)}));

    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    AppDelegate delegate(fakes.services(), TouchBarServices::AppleProcesses, nullptr, lock);
    EXPECT_FALSE(launch(delegate));
    EXPECT_TRUE(fakes.output.text().contains("   Existing instances: 0\n🔍 Initial Touch Bar"));
    QWidget* window = delegate.window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "Corvane");
    const auto buttons = Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    EXPECT_EQ(window->windowFlags() & (buttons | Qt::WindowMaximizeButtonHint), buttons);
    EXPECT_EQ(window->minimumSize(), QSize(420, 360));
    EXPECT_EQ(window->maximumSize(), QSize(420, 360));
    EXPECT_EQ(window->findChild<ContentView*>()->geometry(), window->rect()) << "the whole view";
}
