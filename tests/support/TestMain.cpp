#include <QApplication>

#include <gtest/gtest.h>

// Widgets draw on the offscreen platform unless told otherwise, so no test needs a display.
int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    // A case CTest still lists but the program no longer has (a renamed row) runs nothing: a fail.
    return failed != 0 || ::testing::UnitTest::GetInstance()->test_to_run_count() == 0;
}
