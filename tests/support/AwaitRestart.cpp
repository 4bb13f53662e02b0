#include "AwaitRestart.h"

#include "TouchBarManager.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace corvane {

AwaitedRestart awaitRestart(TouchBarManager& manager, std::chrono::milliseconds timeout) {
    // A completion that arrives after the timeout must find nothing dangling.
    const auto awaited = std::make_shared<AwaitedRestart>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    manager.restartTouchBar([awaited, waiting](TouchBarResult result) {
        awaited->result = std::move(result);
        awaited->completionThread = QThread::currentThread();
        if (waiting)
            waiting->quit();
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    giveUp.start(timeout);
    loop.exec();
    return *awaited;
}

} // namespace corvane
