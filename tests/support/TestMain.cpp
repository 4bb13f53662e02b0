#include <QApplication>

#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

int main(int argc, char* argv[]) {
#ifdef CORVANE_TEST_NAMESPACE
    // Tests that look for or terminate processes by name see only the processes they start:
    // they run as the first process of a PID namespace of their own, with a private mount table
    // in which a tool may be swapped for a stand-in at its own path. Needs root, or another way
    // to let unshare make namespaces.
    if (::getpid() != 1) {
        char self[4096] = {};
        if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
            return 1;
        std::vector<const char*> command = {"unshare",      "--pid", "--fork", "--kill-child",
                                            "--mount-proc", "--",    self};
        command.insert(command.end(), argv + 1, argv + argc);
        command.push_back(nullptr);
        ::execv("/usr/bin/unshare", const_cast<char* const*>(command.data()));
        std::perror("unshare");
        return 1;
    }
#endif
#ifdef CORVANE_TEST_GUI
    // Widgets draw on the offscreen platform unless told otherwise, so they need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
#else
    QCoreApplication application(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
