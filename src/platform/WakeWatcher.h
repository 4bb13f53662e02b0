#pragma once

#include <QObject>

#include <memory>

namespace corvane {

class Log;
class WakeWatcherPrivate;

// Hears the machine go to sleep and wake from it: on Linux logind's PrepareForSleep(true) and
// (false) on the system bus, on macOS the workspace's will-sleep and did-wake notifications. Where
// there is nothing to hear it from, it does not listen, and says so once in the log.
//
// On Linux the system bus is the one DBUS_SYSTEM_BUS_ADDRESS names, else the standard one.
// Nothing waits for it on the caller's thread: the connection is made on a thread of its own,
// and a bus that has not answered within five seconds is given up. Only logind's own signal
// counts, whoever else sends one of that name; a logind that starts, or starts again, after
// listen() is heard from then on.
class WakeWatcher final : public QObject {
    Q_OBJECT

public:
    // `log` must outlive the watcher.
    explicit WakeWatcher(Log& log, QObject* parent = nullptr);
    ~WakeWatcher() override;
    WakeWatcher(const WakeWatcher&) = delete;
    WakeWatcher& operator=(const WakeWatcher&) = delete;

    // Starts listening; call once.
    void listen();

signals:
    void aboutToSleep();
    void woke();

private:
    std::unique_ptr<WakeWatcherPrivate> d;
};

} // namespace corvane
