#include "MessageBoxAlerts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

TEST(MessageBoxAlerts, ShowsPlainTextsAndTheSymbolAndAnswersWithThePressedButton) {
    // A symbol that does not ship leaves the style's own icon.
    const std::tuple<QString, QMessageBox::Icon, QString> cases[] = {
        {"exclamationmark.triangle.fill", QMessageBox::NoIcon, "Warning"},
        {"no.such.symbol", QMessageBox::Warning, ""}};
    for (const int pressed : {0, 1}) {
        const auto& [symbol, icon, description] = cases[pressed];
        const Alert alert{.messageText = "Corvane is Already Running",
                          .informativeText = "Another <b>copy</b> runs.",
                          .buttons = {"OK", "Cancel"},
                          .symbolName = symbol,
                          .symbolDescription = "Warning"};
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text(), alert.messageText);
            EXPECT_EQ(box->informativeText(), alert.informativeText);
            EXPECT_EQ(box->findChild<QLabel*>("qt_msgbox_informativelabel")->textFormat(),
                      Qt::PlainText);
            EXPECT_FALSE(box->iconPixmap().isNull());
            EXPECT_EQ(box->icon(), icon);
            EXPECT_EQ(box->findChild<QLabel*>("qt_msgboxex_icon_label")->accessibleName(),
                      description);
            box->buttons().at(pressed)->click();
        });
        EXPECT_EQ(MessageBoxAlerts().runModal(alert), pressed);
    }
}
