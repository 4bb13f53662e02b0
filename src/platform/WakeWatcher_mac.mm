#include "platform/WakeWatcher.h"

#import <AppKit/AppKit.h>

namespace corvane {

// The workspace's observer, kept as long as the watcher lives.
class WakeWatcherPrivate {
public:
    explicit WakeWatcherPrivate(WakeWatcher& watcher)
        : watcher(watcher) {}
    ~WakeWatcherPrivate() {
        for (id observer : {sleeping, waking}) {
            if (!observer)
                continue;
            [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:observer];
            [observer release];
        }
    }

    void listen() {
        WakeWatcher* heard = &watcher;
        // The centre keeps a block only as long as someone holds the token it returned.
        sleeping = [[NSWorkspace.sharedWorkspace.notificationCenter
            addObserverForName:NSWorkspaceWillSleepNotification
                        object:nil
                         queue:NSOperationQueue.mainQueue
                    usingBlock:^(NSNotification*) {
                      emit heard->aboutToSleep();
                    }] retain];
        waking = [[NSWorkspace.sharedWorkspace.notificationCenter
            addObserverForName:NSWorkspaceDidWakeNotification
                        object:nil
                         queue:NSOperationQueue.mainQueue
                    usingBlock:^(NSNotification*) {
                      emit heard->woke();
                    }] retain];
    }

private:
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
