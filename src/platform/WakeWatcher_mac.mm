#include "platform/WakeWatcher.h"

#import <AppKit/AppKit.h>

namespace corvane {

WakeWatcher::WakeWatcher(Log& log, QObject* parent)
    : QObject(parent)
    , log(log) {}

WakeWatcher::~WakeWatcher() {
    if (!observer)
        return;
    id token = (__bridge id)observer;
    [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:token];
    [token release];
}

void WakeWatcher::listen() {
    id token = [NSWorkspace.sharedWorkspace.notificationCenter
        addObserverForName:NSWorkspaceDidWakeNotification
                    object:nil
                     queue:NSOperationQueue.mainQueue
                usingBlock:^(NSNotification*) {
                  emit woke();
                }];
    // The centre keeps the block only as long as someone holds the token it returned.
    observer = (__bridge void*)[token retain];
}

} // namespace corvane
