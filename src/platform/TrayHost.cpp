#include "platform/TrayHost.h"

namespace corvane {

TrayHost::TrayHost(std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent)
    , limit(limit) {}

void TrayHost::answer(bool found) {
    if (done)
        return;
    done = true;
    emit answered(found);
}

} // namespace corvane
