#pragma once

#include <QUrl>

namespace corvane {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;

    // Opens `url` in the default browser; false when no browser took it.
    virtual bool open(const QUrl& url) = 0;
};

} // namespace corvane
