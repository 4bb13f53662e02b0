#include "MessageBoxAlerts.h"
#include "Symbols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// Runs `alert` and answers it with the button titled `answer`, handing the box to `inspect`
// first.
int runAnswering(const Alert& alert, const QString& answer,
                 const std::function<void(QMessageBox&)>& inspect) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        inspect(*box);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == answer)
                button->click();
    });
    return MessageBoxAlerts().runModal(alert);
}

} // namespace

TEST(MessageBoxAlerts, ShowsTheAlertActiveAndAnswersWithThePressedButton) {
    Alert alert{"Corvane is Already Running",    "Another instance <b>runs</b>.",
                Alert::Style::Warning,           {"OK", "Cancel"},
                "exclamationmark.triangle.fill", "Warning"};
    for (const int pressed : {0, 1}) {
        const int answer = runAnswering(alert, alert.buttons[pressed], [&](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), alert.messageText);
            EXPECT_EQ(box.text(), alert.messageText);
            EXPECT_EQ(box.informativeText(), alert.informativeText);
            EXPECT_EQ(box.findChild<QLabel*>("qt_msgbox_informativelabel")->textFormat(),
                      Qt::PlainText);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
            EXPECT_FALSE(box.iconPixmap().isNull());
            EXPECT_EQ(box.findChild<QLabel*>("qt_msgboxex_icon_label")->accessibleName(),
                      "Warning");
        });
        EXPECT_EQ(answer, pressed);
    }

    alert.symbolName = "no.such.symbol";
    runAnswering(alert, "OK",
                 [](QMessageBox& box) { EXPECT_EQ(box.icon(), QMessageBox::Warning); });
}

TEST(Symbols, EveryShippedSymbolRendersInItsTint) {
    const QColor tint(0x00, 0x7A, 0xFF);
    for (const char* name : {"wrench.and.screwdriver.fill", "questionmark.circle", "xmark.circle",
                             "exclamationmark.triangle.fill"}) {
        SCOPED_TRACE(name);
        const QImage image = symbolPixmap(name, 20, tint, 2.0).toImage();
        ASSERT_EQ(image.size(), QSize(40, 40));
        int covered = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                covered += pixel.alpha() == 255;
                EXPECT_TRUE(pixel.alpha() < 255 || pixel.rgb() == tint.rgb());
            }
        }
        EXPECT_GT(covered, 40) << "drawn";
        EXPECT_LT(covered, 40 * 40 * 3 / 4) << "a shape, not a filled square";
    }
    EXPECT_TRUE(symbolPixmap("gear", 20, Qt::black).isNull());
}
