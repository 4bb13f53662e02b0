#include "core/Backend.h"

#include <QDir>
#include <QFileInfo>

namespace corvane {

const Backend& appleServices() {
    static const Backend backend{
        QStringLiteral("macos"),
        {QStringLiteral("TouchBarServer"), QStringLiteral("NowPlayingTouchUI"),
         QStringLiteral("ControlStrip"), QStringLiteral("TouchBarAgent"),
         QStringLiteral("TouchBarUserDevice"), QStringLiteral("DFRFoundation")},
        {QStringLiteral("TouchBarServer"), QStringLiteral("ControlStrip")},
        Backend::Restart::TerminateEach,
        {},
        true,
        administrator::Fix::StopServices,
    };
    return backend;
}

const Backend& touchBarDaemon() {
    static const Backend backend{
        QStringLiteral("tiny-dfr"),         {QStringLiteral("tiny-dfr")},
        {QStringLiteral("tiny-dfr")},       Backend::Restart::RestartUnit,
        QStringLiteral("tiny-dfr.service"), false,
        administrator::Fix::RestartDaemon,
    };
    return backend;
}

const Backend& systemBackend(const QString& root) {
    const QDir system(root);
    for (const char* path :
         {"etc/systemd/system/tiny-dfr.service", "usr/lib/systemd/system/tiny-dfr.service",
          "lib/systemd/system/tiny-dfr.service", "usr/bin/tiny-dfr"}) {
        if (QFileInfo::exists(system.filePath(QLatin1String(path))))
            return touchBarDaemon();
    }
    return appleServices();
}

} // namespace corvane
