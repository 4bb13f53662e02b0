#include "ui/Alerts.h"

#include "ui/Style.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace corvane::ui {
namespace {

constexpr qreal iconSize = 64;

QMessageBox* makeAlert(QWidget* parent, const QString& title, const QString& message) {
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(title);
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: 300px; }"));
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    box->setInformativeText(message);
    // QMessageBox applies its text format to the main text only.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    addQuitShortcut(box);
    return box;
}

} // namespace

void addQuitShortcut(QWidget* window) {
    auto* shortcut = new QShortcut(QKeySequence::Quit, window);
    if (shortcut->key().isEmpty())
        shortcut->setKey(QKeySequence(Qt::CTRL | Qt::Key_Q));
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, qApp, &QCoreApplication::quit);
}

void showAlreadyRunningAlert() {
    QMessageBox* box = makeAlert(
        nullptr, QStringLiteral("Corvane is Already Running"),
        QStringLiteral("Another instance of Corvane is already running. Please quit the existing "
                       "instance before starting a new one."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    // The symbol in the tint macOS gives a warning; the style's own icon when it cannot be drawn.
    const QPixmap symbol = symbolPixmap(QStringLiteral("exclamationmark.triangle.fill"), iconSize,
                                        color::orange, box->devicePixelRatioF());
    if (!symbol.isNull()) {
        box->setIconPixmap(symbol);
        if (auto* icon = box->findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
            icon->setAccessibleName(QStringLiteral("Warning"));
    }
    box->addButton(QCoreApplication::translate("checkSingleInstance", "OK"),
                   QMessageBox::AcceptRole);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->raise();
    box->activateWindow();
    box->exec();
}

QMessageBox* openAlert(QWidget* parent, const QString& title, const QString& message,
                       const QString& accept, const QString& reject) {
    QMessageBox* box = makeAlert(parent, title, message);
    box->setWindowModality(Qt::WindowModal);
    box->setDefaultButton(box->addButton(accept, QMessageBox::AcceptRole));
    if (!reject.isEmpty())
        box->setEscapeButton(box->addButton(reject, QMessageBox::RejectRole));
    box->open();
    return box;
}

} // namespace corvane::ui
