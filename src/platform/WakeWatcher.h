#pragma once

#include <QObject>

#ifndef __APPLE__
#include <QDBusConnection>

#include <optional>
#endif

namespace corvane {

class Log;

// Hears the machine wake from sleep: on Linux logind's PrepareForSleep(false) on the system
// bus, on macOS the workspace's did-wake notification. Where there is nothing to hear it
// from, it does not listen, and says so once in the log.
class WakeWatcher final : public QObject {
    Q_OBJECT

public:
    // Listens to the system bus, connecting to it only in listen(). `log` must outlive the
    // watcher.
    explicit WakeWatcher(Log& log, QObject* parent = nullptr);
#ifndef __APPLE__
    // Listens to `bus` instead.
    WakeWatcher(const QDBusConnection& bus, Log& log, QObject* parent = nullptr);
#endif
    ~WakeWatcher() override;
    WakeWatcher(const WakeWatcher&) = delete;
    WakeWatcher& operator=(const WakeWatcher&) = delete;

    // Starts listening; call once. It may wait for the bus, so not before the window is shown.
    void listen();

signals:
    void woke();

#ifndef __APPLE__
private slots:
    void prepareForSleep(bool sleeping);

private:
    std::optional<QDBusConnection> bus;
#else
private:
    void* observer = nullptr;
#endif
    Log& log;
};

} // namespace corvane
