#include "MessageBoxAlerts.h"

#include "AlertBox.h"
#include "Symbols.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace corvane {
namespace {

constexpr qreal iconSize = 64;

QMessageBox::Icon standardIcon(Alert::Style style) {
    switch (style) {
    case Alert::Style::Warning:
        return QMessageBox::Warning;
    case Alert::Style::Informational:
        return QMessageBox::Information;
    case Alert::Style::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The tint macOS gives the symbols of its alert styles.
QColor symbolColor(Alert::Style style) {
    return style == Alert::Style::Critical ? QColor(0xFF, 0x3B, 0x30) : QColor(0xFF, 0x95, 0x00);
}

} // namespace

int MessageBoxAlerts::runModal(const Alert& alert) {
    QMessageBox box;
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(alert.messageText);
    setAlertTexts(box, alert.messageText, alert.informativeText);
    box.setIcon(standardIcon(alert.style));
    const QPixmap symbol =
        symbolPixmap(alert.symbolName, iconSize, symbolColor(alert.style), box.devicePixelRatioF());
    if (!symbol.isNull()) {
        box.setIconPixmap(symbol);
        if (auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
            icon->setAccessibleName(alert.symbolDescription);
    }

    // The first button is the default one, as in every macOS alert.
    QList<QAbstractButton*> buttons;
    for (const QString& title : alert.buttons)
        buttons.append(box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole
                                                              : QMessageBox::RejectRole));

    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

} // namespace corvane
