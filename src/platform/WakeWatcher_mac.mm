#include "platform/WakeWatcher.h"

#import <AppKit/AppKit.h>

namespace corvane {

// The workspace's observer, kept as long as the watcher lives.
class WakeWatcherPrivate {
public:
    explicit WakeWatcherPrivate(WakeWatcher& watcher)
        : watcher(watcher) {}
    ~WakeWatcherPrivate() {
        forget(sleeping);
        forget(waking);
    }

    void listen() {
        WakeWatcher* heard = &watcher;
        sleeping = observe(NSWorkspaceWillSleepNotification, ^{
          emit heard->aboutToSleep();
        });
        waking = observe(NSWorkspaceDidWakeNotification, ^{
          emit heard->woke();
        });
    }

private:
    // The centre keeps the block only as long as someone holds the token it returns.
    static id observe(NSNotificationName name, void (^heard)()) {
        return [[NSWorkspace.sharedWorkspace.notificationCenter
            addObserverForName:name
                        object:nil
                         queue:NSOperationQueue.mainQueue
                    usingBlock:^(NSNotification*) {
                      heard();
                    }] retain];
    }

    static void forget(id observer) {
        if (!observer)
            return;
        [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:observer];
        [observer release];
    }

    WakeWatcher& watcher;
    id sleeping = nil;
    id waking = nil;
};

WakeWatcher::WakeWatcher(Log&, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<WakeWatcherPrivate>(*this)) {}

WakeWatcher::~WakeWatcher() = default;

void WakeWatcher::listen() {
    d->listen();
}

} // namespace corvane
