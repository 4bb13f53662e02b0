#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// Every alert Corvane shows, built in one place so that they look alike: the title in bold
// over the message, both shown exactly as written (an error that passes on a tool's words is
// never read as markup) and wrapped at a readable width, the quit key working in them as in
// the window.
namespace corvane::ui {

// The alert of a copy that found another one running. Blocks until it is dismissed; it comes
// up raised and active, so it is seen even when the copy was started from behind another
// application.
void showAlreadyRunningAlert();

// Opens a window-modal alert over `parent` titled `title` and saying `message`. Its default
// button `accept` finishes it with QMessageBox::AcceptRole; `reject`, when given, is the
// Escape button and finishes it with QMessageBox::RejectRole.
QMessageBox* openAlert(QWidget* parent, const QString& title, const QString& message,
                       const QString& accept, const QString& reject = {});

// Makes the quit key, Ctrl+Q (Cmd+Q on macOS) also where the desktop binds none, end the
// application from within `window`: Qt ignores a window's shortcuts while a modal alert
// covers it, so each alert carries one of its own.
void addQuitShortcut(QWidget* window);

} // namespace corvane::ui
