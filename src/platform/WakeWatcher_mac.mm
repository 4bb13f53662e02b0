#include "platform/WakeWatcher.h"

#import <AppKit/AppKit.h>

namespace corvane {

// The workspace's observer, kept as long as the watcher lives.
class WakeWatcherPrivate {
public:
    explicit WakeWatcherPrivate(WakeWatcher& watcher)
        : watcher(watcher) {}
    ~WakeWatcherPrivate() {
        if (!observer)
            return;
        [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:observer];
        [observer release];
    }

    void listen() {
        WakeWatcher* heard = &watcher;
        // The centre keeps the block only as long as someone holds the token it returned.
        observer = [[NSWorkspace.sharedWorkspace.notificationCenter
            addObserverForName:NSWorkspaceDidWakeNotification
                        object:nil
                         queue:NSOperationQueue.mainQueue
                    usingBlock:^(NSNotification*) {
                      emit heard->woke();
                    }] retain];
    }

private:
    WakeWatcher& watcher;
    id observer = nil;
};

WakeWatcher::WakeWatcher(Log&, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<WakeWatcherPrivate>(*this)) {}

WakeWatcher::~WakeWatcher() = default;

void WakeWatcher::listen() {
    d->listen();
}

} // namespace corvane
