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

// Answers the next modal message box by pressing the button titled `title`, after noting
// what it showed.
struct Answer {
    explicit Answer(QString title)
        : title(std::move(title)) {}

    QString title;
    QString windowTitle;
    QString text;
    QString informativeText;
    bool active = false;
    bool ownIcon = false;
    QString iconName;
    Qt::TextFormat informativeFormat = Qt::AutoText;

    void arm() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            windowTitle = box->windowTitle();
            text = box->text();
            informativeText = box->informativeText();
            if (auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel"))
                informativeFormat = label->textFormat();
            active = QTest::qWaitForWindowActive(box);
            ownIcon = !box->iconPixmap().isNull() && box->icon() == QMessageBox::NoIcon;
            if (auto* icon = box->findChild<QLabel*>("qt_msgboxex_icon_label"))
                iconName = icon->accessibleName();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == title)
                    return button->click();
            box->reject();
        });
    }
};

} // namespace

TEST(MessageBoxAlerts, ShowsTheAlertAndAnswersWithThePressedButton) {
    Alert alert;
    alert.messageText = "Corvane is Already Running";
    alert.informativeText = "Another instance <b>runs</b>.";
    alert.buttons = {"OK", "Cancel"};
    alert.symbolName = "exclamationmark.triangle.fill";
    alert.symbolDescription = "Warning";

    for (const int pressed : {0, 1}) {
        Answer answer(alert.buttons[pressed]);
        answer.arm();
        EXPECT_EQ(MessageBoxAlerts().runModal(alert), pressed);
        EXPECT_EQ(answer.windowTitle, alert.messageText);
        EXPECT_EQ(answer.text, alert.messageText);
        EXPECT_EQ(answer.informativeText, alert.informativeText);
        EXPECT_EQ(answer.informativeFormat, Qt::PlainText) << "markup shown as written";
        EXPECT_TRUE(answer.active);
        EXPECT_TRUE(answer.ownIcon);
        EXPECT_EQ(answer.iconName, "Warning");
    }
}

TEST(MessageBoxAlerts, UnknownSymbolFallsBackToTheStyleIcon) {
    Alert alert;
    alert.messageText = "Something";
    alert.buttons = {"OK"};
    alert.symbolName = "no.such.symbol";
    Answer answer("OK");
    answer.arm();
    EXPECT_EQ(MessageBoxAlerts().runModal(alert), 0);
    EXPECT_FALSE(answer.ownIcon);
}

TEST(Symbols, EveryShippedSymbolRendersInItsTint) {
    for (const char* name : {"wrench.and.screwdriver.fill", "questionmark.circle", "xmark.circle",
                             "exclamationmark.triangle.fill"}) {
        SCOPED_TRACE(name);
        const QImage image = symbolPixmap(name, 20, QColor(0x00, 0x7A, 0xFF), 2.0).toImage();
        ASSERT_EQ(image.size(), QSize(40, 40));
        int covered = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 255)
                    continue;
                ++covered;
                EXPECT_EQ(pixel.rgb(), QColor(0x00, 0x7A, 0xFF).rgb());
            }
        }
        EXPECT_GT(covered, 40) << "drawn, and in the tint";
        EXPECT_LT(covered, 40 * 40 * 3 / 4) << "a shape, not a filled square";
    }
    EXPECT_TRUE(symbolPixmap("gear", 20, Qt::black).isNull());
}
