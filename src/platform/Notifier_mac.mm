#include "platform/Notifier.h"

#include <QMetaObject>
#include <QPointer>

#import <UserNotifications/UserNotifications.h>

// Hands "Fix Touch Bar" back to the notifier on the main thread.
@interface CorvaneNotificationDelegate : NSObject <UNUserNotificationCenterDelegate>
@property(nonatomic) QPointer<corvane::Notifier> notifier;
@end

@implementation CorvaneNotificationDelegate
- (void)userNotificationCenter:(UNUserNotificationCenter*)center
    didReceiveNotificationResponse:(UNNotificationResponse*)response
             withCompletionHandler:(void (^)(void))done {
    if ([response.actionIdentifier isEqualToString:@"fix"] && self.notifier)
        QMetaObject::invokeMethod(self.notifier.data(), "actionInvoked", Qt::QueuedConnection,
                                  Q_ARG(uint, 1), Q_ARG(QString, QStringLiteral("fix")));
    done();
}
@end

namespace corvane {

// Nothing to reach first: the notification centre is always there.
class NotifierPrivate {};

Notifier::Notifier(QObject* parent)
    : QObject(parent) {
    static CorvaneNotificationDelegate* delegate = [[CorvaneNotificationDelegate alloc] init];
    delegate.notifier = this;
    UNUserNotificationCenter* center = [UNUserNotificationCenter currentNotificationCenter];
    center.delegate = delegate;
    UNNotificationAction* fix = [UNNotificationAction actionWithIdentifier:@"fix"
                                                                     title:@"Fix Touch Bar"
                                                                   options:0];
    [center setNotificationCategories:[NSSet setWithObject:[UNNotificationCategory
                                                               categoryWithIdentifier:@"fix"
                                                                              actions:@[ fix ]
                                                                    intentIdentifiers:@[]
                                                                              options:0]]];
}

Notifier::~Notifier() = default;

void Notifier::notify(const QString& summary, const QString& body, bool offerFix) {
    QPointer<Notifier> self(this);
    UNUserNotificationCenter* center = [UNUserNotificationCenter currentNotificationCenter];
    UNMutableNotificationContent* content = [[UNMutableNotificationContent alloc] init];
    content.title = summary.toNSString();
    content.body = body.toNSString();
    if (offerFix)
        content.categoryIdentifier = @"fix";
    // One identifier: the next notification takes the place of this one.
    UNNotificationRequest* request = [UNNotificationRequest requestWithIdentifier:@"corvane"
                                                                          content:content
                                                                          trigger:nil];
    [center requestAuthorizationWithOptions:UNAuthorizationOptionAlert
                          completionHandler:^(BOOL granted, NSError*) {
                            if (!granted) {
                                QMetaObject::invokeMethod(self.data(), [self] {
                                    if (self)
                                        emit self->answered(false);
                                });
                                return;
                            }
                            [center addNotificationRequest:request
                                     withCompletionHandler:^(NSError* error) {
                                       QMetaObject::invokeMethod(self.data(), [self, error] {
                                           if (self)
                                               emit self->answered(error == nil);
                                       });
                                     }];
                          }];
    shown = 1;
}

void Notifier::actionInvoked(uint id, const QString& action) {
    if (id == shown && action == QLatin1String("fix"))
        emit fixInvoked();
}

} // namespace corvane
