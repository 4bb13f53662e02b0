#include "SystemPlatform.h"
#include "TouchBarManager.h"

#include <QApplication>

#include <csignal>
#include <memory>

int main(int argc, char* argv[])
{
    // Log lines go to standard output with write(2); a reader that went away must not end us.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication application(argc, argv);
    corvane::SystemPlatform platform;
    const auto manager = std::make_shared<corvane::TouchBarManager>(platform.services());
    return 0;
}
