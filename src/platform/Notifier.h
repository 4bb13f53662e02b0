#pragma once

#include <QObject>
#include <QString>

namespace corvane {

// Corvane's one desktop notification, replaced in place rather than stacked: on Linux through
// org.freedesktop.Notifications on the session bus, on macOS the user notification centre.
class Notifier final : public QObject {
    Q_OBJECT

public:
    explicit Notifier(QObject* parent = nullptr);

    // Shows `summary` over `body` in place of what was shown before, with a "Fix Touch Bar"
    // button when `offerFix`. answered() follows once the system took it or refused it.
    void notify(const QString& summary, const QString& body, bool offerFix);

signals:
    // Whether the notification was shown; false with no notification server, or one that
    // answered nonsense or not within five seconds.
    void answered(bool shown);
    // "Fix Touch Bar" was pressed in the notification shown last.
    void fixInvoked();

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    uint shown = 0;
};

} // namespace corvane
