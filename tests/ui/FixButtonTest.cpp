#include "FixButton.h"
#include "ViewHarness.h"

#include <QAbstractAnimation>

using namespace corvane;
using namespace corvane::testing;

namespace {

// Animation time that moves only when the test says so.
class ManualAnimationDriver final : public QAnimationDriver {
public:
    ManualAnimationDriver() { install(); }
    ~ManualAnimationDriver() override { uninstall(); }
    qint64 elapsed() const override { return now; }
    void advanceBy(qint64 milliseconds) {
        // Animations that just started join through queued calls, at the current time.
        for (int hop = 0; hop < 3; ++hop) {
            QCoreApplication::processEvents();
            advance();
        }
        now += milliseconds;
        advance();
    }

private:
    qint64 now = 0;
};

} // namespace

TEST(FixButton, OnlyRestartChangesAnimateOverATenthOfASecond) {
    const QColor blue(0x00, 0x7A, 0xFF), orange(0xFF, 0x95, 0x00), gray(0x8E, 0x8E, 0x93);
    ManualAnimationDriver clock;
    ui::FixButton button;
    button.resize(308, 56);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    const auto pixel = [&] {
        return button.grab().toImage().pixelColor(40, 5);
    };

    button.showState(false, true);
    EXPECT_TRUE(near(pixel(), blue, 8)) << "a Touch Bar appearing shows at once";
    button.showState(true, true);
    EXPECT_TRUE(near(pixel(), blue, 8)) << "the restart look fades in";
    clock.advanceBy(50);
    EXPECT_FALSE(near(pixel(), blue, 30) || near(pixel(), orange, 30)) << "halfway";
    clock.advanceBy(60);
    EXPECT_TRUE(near(pixel(), orange));

    button.showState(true, false);
    EXPECT_TRUE(near(pixel(), orange)) << "still restarting";
    button.showState(false, false);
    clock.advanceBy(110);
    EXPECT_TRUE(near(pixel(), gray));
}
