#pragma once

#include <QString>

class QMessageBox;

namespace corvane {

// Gives `box` its title text and informative text, both shown exactly as written: a message
// that happens to look like markup (an error passing on a tool's output, say) is not
// rendered as rich text.
void setPlainTexts(QMessageBox& box, const QString& text, const QString& informativeText);

} // namespace corvane
