// The smallest tray application Qt makes: an icon with a menu of two items, for bench/idle to
// weigh Corvane in the tray against.
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QPixmap image(22, 22);
    image.fill(Qt::darkGreen);
    QMenu menu;
    menu.addAction(QStringLiteral("Fix"));
    menu.addAction(QStringLiteral("Quit"), &application, &QCoreApplication::quit);
    QSystemTrayIcon icon{QIcon(image)};
    icon.setContextMenu(&menu);
    icon.show();
    return QApplication::exec();
}
