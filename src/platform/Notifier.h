#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace corvane {

class NotifierPrivate;

// Corvane's one desktop notification, replaced in place rather than stacked: on Linux through
// org.freedesktop.Notifications on the session bus, reached off the caller's thread, on macOS
// the user notification centre.
class Notifier final : public QObject {
    Q_OBJECT

public:
    explicit Notifier(QObject* parent = nullptr);
    ~Notifier() override;
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Shows `summary` over `body` in place of what was shown before, with a "Fix Touch Bar"
    // button when `offerFix`. answered() follows once the system took it or refused it.
    void notify(const QString& summary, const QString& body, bool offerFix);

signals:
    // Whether the notification was shown; false with no session bus within five seconds, no
    // notification server, or one that answered nonsense or not within five seconds.
    void answered(bool shown);
    // "Fix Touch Bar" was pressed in the notification shown last.
    void fixInvoked();

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    friend class NotifierPrivate;

    uint shown = 0;
    std::unique_ptr<NotifierPrivate> d;
};

} // namespace corvane
