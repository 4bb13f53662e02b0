#include "platform/LoginItem.h"

#import <ServiceManagement/ServiceManagement.h>

namespace corvane::login {

State state() {
    switch (SMAppService.mainAppService.status) {
    case SMAppServiceStatusEnabled:
        return State::On;
    case SMAppServiceStatusRequiresApproval:
        return State::RequiresApproval;
    default:
        return State::Off;
    }
}

QString setEnabled(bool on) {
    NSError* error = nil;
    const BOOL done = on ? [SMAppService.mainAppService registerAndReturnError:&error]
                         : [SMAppService.mainAppService unregisterAndReturnError:&error];
    return done ? QString() : QString::fromNSString(error.localizedDescription);
}

} // namespace corvane::login
