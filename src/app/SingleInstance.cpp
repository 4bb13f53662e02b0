#include "app/SingleInstance.h"

#include "core/Version.h"
#include "platform/InstanceLock.h"
#include "platform/Log.h"
#include "ui/Alerts.h"

#include <QCoreApplication>

namespace corvane {

bool checkSingleInstance(InstanceLock& lock, Log& log) {
    const InstanceLock::Status status = lock.lock();
    log.writeLine(QStringLiteral("🔍 Single instance check:"));
    log.writeLine(QStringLiteral("   Current PID: ") +
                  QString::number(QCoreApplication::applicationPid()));
    log.writeLine(QStringLiteral("   Bundle ID: ") + bundleIdentifier);
    if (status == InstanceLock::Status::Unavailable) {
        log.writeLine(QStringLiteral("   ⚠️ Could not check for other instances: ") +
                      lock.problem());
        return true;
    }
    const bool another = status == InstanceLock::Status::HeldElsewhere;
    log.writeLine(QStringLiteral("   Existing instances: ") + QString::number(another ? 1 : 0));
    if (!another)
        return true;
    if (lock.holder() > 0)
        log.writeLine(QStringLiteral("   Found existing: PID ") + QString::number(lock.holder()));
    ui::showAlreadyRunningAlert();
    return false;
}

} // namespace corvane
