#pragma once

#include <QString>
#include <QStringList>

namespace corvane {

struct Alert {
    enum class Style { Warning, Informational, Critical };

    QString messageText;
    QString informativeText;
    Style style = Style::Warning;
    QStringList buttons;
    // A symbol name such as "exclamationmark.triangle.fill"; an unknown name shows the
    // platform's default icon for the style.
    QString symbolName;
    QString symbolDescription;
};

// Application-modal alerts that block their caller until the user answers.
class Alerts {
public:
    virtual ~Alerts() = default;

    // Shows `alert` and returns the index of the pressed button in `alert.buttons`.
    virtual int runModal(const Alert& alert) = 0;
};

} // namespace corvane
