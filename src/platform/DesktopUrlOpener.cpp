#include "DesktopUrlOpener.h"

#include <QDesktopServices>

namespace corvane {

bool DesktopUrlOpener::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

} // namespace corvane
