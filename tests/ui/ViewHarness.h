#pragma once

#include "ContentView.h"
#include "Fakes.h"
#include "FixButton.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace corvane::testing {

inline const QByteArray touchBarModel = "MacBookPro16,1";
inline const QByteArray otherModel = "iMac20,1";
inline const QStringList touchBarProcesses = {"TouchBarServer",     "NowPlayingTouchUI",
                                              "ControlStrip",       "TouchBarAgent",
                                              "TouchBarUserDevice", "DFRFoundation"};

// Lets queued refreshes run and any 0.1 s transition finish.
inline void settle() {
    QTest::qWait(200);
}

inline ::testing::AssertionResult near(const QColor& actual, const QColor& expected,
                                       int tolerance = 3) {
    if (std::abs(actual.red() - expected.red()) <= tolerance &&
        std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actual.name().toStdString() << " is not near " << expected.name().toStdString();
}

// A main view on a fake machine whose running Touch Bar processes come back when terminated.
struct ViewHarness {
    fakes::FakePlatform platform;
    fakes::FakeSystem system;
    fakes::RecordingUrlOpener browser;
    std::unique_ptr<ContentView> view;

    explicit ViewHarness(const QByteArray& model, const QStringList& running = {}) {
        platform.modelQuery = fakes::FakeModelQuery::answering(model);
        system.running = system.relaunched = running;
        platform.tools.setScript(system.script());
        view = std::make_unique<ContentView>(platform.services(), browser);
    }

    void show() {
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        settle();
    }

    ui::FixButton* fixButton() const { return view->findChild<ui::FixButton*>(); }
    QLabel* label(const char* name) const { return view->findChild<QLabel*>(name); }
    QAbstractButton* button(const QString& text) const {
        for (auto* candidate : view->findChildren<QAbstractButton*>())
            if (candidate->text() == text && candidate->window() == view.get())
                return candidate;
        return nullptr;
    }
    void click(QAbstractButton* target) { QTest::mouseClick(target, Qt::LeftButton); }
    void pressAlertButton(const QString& title) {
        for (QAbstractButton* button : alert()->buttons())
            if (button->text() == title)
                return click(button);
        ADD_FAILURE() << "no alert button " << title.toStdString();
    }

    QMessageBox* alert() const {
        for (auto* box : view->findChildren<QMessageBox*>())
            if (box->isVisible())
                return box;
        return nullptr;
    }
    QStringList alertButtons() const {
        QStringList titles;
        for (QAbstractButton* button : alert()->buttons())
            titles << button->text();
        return titles;
    }

    // The colour of the fix button's pixel at `point`, as drawn in the window.
    QColor buttonPixel(QPoint point) const {
        return view->grab().toImage().pixelColor(fixButton()->mapTo(view.get(), point));
    }

    // Runs `check` while the next restart waits for the services to come back, that is while
    // isRestarting is true.
    void whileRestarting(std::function<void()> check) {
        platform.sleeper.duringSleep = [check = std::move(check)] {
            settle();
            check();
        };
    }
};

} // namespace corvane::testing
