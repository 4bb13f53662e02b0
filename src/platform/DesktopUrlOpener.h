#pragma once

#include "UrlOpener.h"

namespace corvane {

// Hands addresses to the desktop's default browser.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};

} // namespace corvane
