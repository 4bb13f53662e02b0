#include "QtExecutor.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <thread>

namespace corvane {

void QtExecutor::runInBackground(std::function<void()> work)
{
    // A detached thread: the process may end while a tool still runs, and nothing must wait
    // for it then. Background work is one restart at a time, so a thread per task is cheap.
    std::thread(std::move(work)).detach();
}

void QtExecutor::runOnMain(std::function<void()> work)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (QThread::currentThread() == application->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(application, std::move(work), Qt::BlockingQueuedConnection);
}

void QtExecutor::postToMain(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

} // namespace corvane
