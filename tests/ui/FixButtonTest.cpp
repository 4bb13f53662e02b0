#include "FixButton.h"
#include "ViewHarness.h"

#include <QAbstractAnimation>
#include <QBoxLayout>

using namespace corvane;
using namespace corvane::testing;

namespace {

// Animation time that moves only when a test says so.
class ManualAnimationDriver final : public QAnimationDriver {
public:
    ManualAnimationDriver() { install(); }
    ~ManualAnimationDriver() override { uninstall(); }
    qint64 elapsed() const override { return now; }
    void advanceBy(qint64 milliseconds) {
        // Animations that just started join the timer through queued calls, at the current
        // time, before it moves.
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

const QColor blue(0x00, 0x7A, 0xFF);
const QColor orange(0xFF, 0x95, 0x00);
const QColor gray(0x8E, 0x8E, 0x93);

} // namespace

TEST(FixButton, OnlyRestartChangesAnimateOverATenthOfASecond) {
    ManualAnimationDriver clock;
    QWidget window;
    window.setStyleSheet("background: white");
    auto* button = new ui::FixButton;
    (new QHBoxLayout(&window))->addWidget(button);
    window.resize(340, 90);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto pixel = [&] {
        return button->grab().toImage().pixelColor(40, 5);
    };

    button->showState(false, true);
    EXPECT_TRUE(near(pixel(), blue, 8)) << "a Touch Bar appearing shows at once";

    button->showState(true, true);
    EXPECT_TRUE(near(pixel(), blue, 8)) << "the restart look fades in";
    clock.advanceBy(50);
    const QColor halfway = pixel();
    EXPECT_FALSE(near(halfway, blue, 30));
    EXPECT_FALSE(near(halfway, orange, 30));
    clock.advanceBy(60);
    EXPECT_TRUE(near(pixel(), orange));

    button->showState(true, false);
    EXPECT_TRUE(near(pixel(), orange)) << "still restarting";
    button->showState(false, false);
    clock.advanceBy(110);
    EXPECT_TRUE(near(pixel(), gray));
    EXPECT_FALSE(button->isEnabled());
}
