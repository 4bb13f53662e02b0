#include "app/Application.h"

int main(int argc, char* argv[]) {
    corvane::Application application(argc, argv, corvane::Application::faceFor(argc, argv));
    application.run();
}
