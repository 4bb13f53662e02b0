#pragma once

#include <QObject>

#include <chrono>

namespace corvane {

// Waits for something that shows an icon in the tray (Linux) or the menu bar (macOS), before
// anything asks QSystemTrayIcon: Qt asks the desktop once and keeps that answer. On Linux that
// is a StatusNotifierWatcher on the session bus, which a desktop may start after its
// applications; so it is waited for, up to `limit`, without holding the caller's thread. The
// menu bar is always there.
class TrayHost final : public QObject {
    Q_OBJECT

public:
    explicit TrayHost(std::chrono::milliseconds limit, QObject* parent = nullptr);

    // Starts waiting; answered() follows once, at the latest after the limit.
    void find();

signals:
    // Whether a host appeared; without one Qt may still find a tray of the older kind.
    void answered(bool found);

private:
    void answer(bool found);

    std::chrono::milliseconds limit;
    bool done = false;
};

} // namespace corvane
