#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cstring>

namespace {

// `corvane status` without Corvane: a bare QCoreApplication that reads the model, makes the same
// tool runs and reads what they print. By default those of a machine where no Touch Bar service
// runs: the detection's probes of the two main services, then the health's of all six. Each
// further argument is one tool run instead, its words separated by blanks.
int status(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QFile model(QStringLiteral("/sys/class/dmi/id/product_name"));
    if (model.open(QIODevice::ReadOnly))
        model.readAll();
    QStringList runs = QCoreApplication::arguments().mid(2);
    if (runs.isEmpty()) {
        for (const char* name :
             {"TouchBarServer", "ControlStrip", "TouchBarServer", "NowPlayingTouchUI",
              "ControlStrip", "TouchBarAgent", "TouchBarUserDevice", "DFRFoundation"})
            runs << QStringLiteral("/usr/bin/pgrep -x ") + QLatin1String(name);
    }
    for (const QString& run : runs) {
        QStringList words = run.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        // Read whole, as Corvane reads what its tools say.
        QProcess tool;
        tool.start(words.takeFirst(), words);
        tool.waitForFinished();
        tool.readAllStandardOutput();
        tool.readAllStandardError();
    }
    return 0;
}

} // namespace

// The smallest useful Qt Widgets window, the yardstick for Corvane's startup and memory; with
// the argument "status", the yardstick for `corvane status`.
int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "status") == 0)
        return status(argc, argv);
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Anchor"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Hello")));
    layout->addWidget(new QPushButton(QStringLiteral("Quit")));
    window.show();
    return QApplication::exec();
}
