#include "AlertBox.h"

#include <QLabel>
#include <QMessageBox>

namespace corvane {

void setAlertTexts(QMessageBox& box, const QString& text, const QString& informativeText) {
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                     "QLabel#qt_msgbox_informativelabel { min-width: 300px; }"));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setInformativeText(informativeText);
    // QMessageBox applies its text format to the main text only.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

} // namespace corvane
