#include "app/Application.h"

int main(int argc, char* argv[]) {
    // Any argument at all is for the command line: a mistyped one never opens a window.
    corvane::Application application(argc, argv,
                                     argc > 1 ? corvane::Application::Face::CommandLine
                                              : corvane::Application::Face::Window);
    application.run();
}
