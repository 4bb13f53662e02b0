#include "Application.h"
#include "SystemPlatform.h"

int main(int argc, char* argv[]) {
    corvane::Application application(argc, argv);
    corvane::SystemPlatform platform;
    application.run(platform.services());
}
