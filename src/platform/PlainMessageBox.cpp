#include "PlainMessageBox.h"

#include <QLabel>
#include <QMessageBox>

namespace corvane {

void setPlainTexts(QMessageBox& box, const QString& text, const QString& informativeText) {
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setInformativeText(informativeText);
    // QMessageBox applies its text format to the main text only.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

} // namespace corvane
