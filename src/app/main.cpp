#include "app/Application.h"

int main(int argc, char* argv[]) {
    corvane::Application application(argc, argv);
    application.run();
}
