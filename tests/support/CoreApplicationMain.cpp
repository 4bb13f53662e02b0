#include <QCoreApplication>

#include <gtest/gtest.h>

// Tests that reach the main thread through the event loop need an application object.
int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
