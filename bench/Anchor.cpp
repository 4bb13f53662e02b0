#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

// The smallest useful Qt Widgets window, the yardstick for Corvane's startup and memory.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Anchor"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Hello")));
    layout->addWidget(new QPushButton(QStringLiteral("Quit")));
    window.show();
    return QApplication::exec();
}
