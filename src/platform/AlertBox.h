#pragma once

#include <QString>

class QMessageBox;

namespace corvane {

// Gives `box` the look of an alert: `text` as its bold title, `informativeText` below it,
// both shown exactly as written (a message that happens to look like markup, an error passing
// on a tool's output say, is not rendered as rich text) and wrapped at a readable width.
void setAlertTexts(QMessageBox& box, const QString& text, const QString& informativeText);

} // namespace corvane
