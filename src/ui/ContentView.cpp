#include "ui/ContentView.h"

#include "core/AfterWake.h"
#include "core/Report.h"
#include "core/TouchBarManager.h"
#include "core/Version.h"
#include "platform/History.h"
#include "platform/InstanceLock.h"
#include "platform/Notifier.h"
#include "ui/Alerts.h"
#include "ui/Emblem.h"
#include "ui/FixButton.h"
#include "ui/Style.h"
#include "ui/SymbolButton.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace corvane {
namespace {

constexpr int viewWidth = 420;
constexpr int viewHeight = 360;

// Long enough to be read, short enough not to linger.
constexpr std::chrono::seconds copiedShown{2};

const QString helpPage = homepage + QStringLiteral("/help");

const QString successMessage =
    QStringLiteral("Touch Bar has been successfully restarted!\n\nYour Touch Bar should now be "
                   "responsive. If you need to restart it again, click \"Fix Again\" or quit and "
                   "relaunch the app.");

QLabel* makeLabel(const QFont& font, const QColor& color) {
    auto* label = new QLabel;
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

ContentView::ContentView(TouchBarManager* manager, AfterWake* afterWake, InstanceLock* restartLock,
                         QWidget* parent)
    : QWidget(parent)
    , manager(manager)
    , afterWake(afterWake)
    , restartLock(restartLock) {
    manager->setParent(this);
    setFixedSize(viewWidth, viewHeight);

    auto* title = makeLabel(ui::font(ui::TextStyle::LargeTitle, QFont::Bold), ui::color::label);
    title->setObjectName(QStringLiteral("title"));
    title->setText(tr("Corvane"));
    statusLine = makeLabel(ui::font(ui::TextStyle::Body), ui::color::secondaryLabel);
    statusLine->setObjectName(QStringLiteral("statusLine"));
    statusLine->setWordWrap(true);
    statusLine->setContentsMargins(20, 0, 20, 0);

    auto* header = new QVBoxLayout;
    header->setSpacing(20);
    header->addWidget(new ui::Emblem, 0, Qt::AlignHCenter);
    header->addWidget(title);
    header->addWidget(statusLine);

    fixButton = new ui::FixButton;
    auto* fixRow = new QHBoxLayout;
    fixRow->setContentsMargins(24, 0, 24, 0);
    fixRow->addWidget(fixButton);

    auto* help =
        new ui::SymbolButton(QStringLiteral("questionmark.circle"), tr("Help"), ui::color::blue);
    auto* quit =
        new ui::SymbolButton(QStringLiteral("xmark.circle"), tr("Quit"), ui::color::secondaryLabel);
    copyButton = new ui::SymbolButton(QStringLiteral("doc.on.clipboard"), tr("Copy Report"),
                                      ui::color::blue);
    copyButton->setObjectName(QStringLiteral("copyReport"));
    copyButton->setAccessibleName(tr("Copy Report"));
    copyButton->setAccessibleDescription(
        tr("Puts a report for a bug report on the clipboard, personal details removed"));
    // The buttons keep room for their focus rings; their labels still sit 60 from the edges.
    constexpr int rowInset = 60 - ui::SymbolButton::focusMargin;
    auto* bottomRow = new QHBoxLayout;
    bottomRow->setContentsMargins(rowInset, 0, rowInset, 0);
    bottomRow->setSpacing(24);
    bottomRow->addWidget(help);
    bottomRow->addStretch();
    bottomRow->addWidget(copyButton);
    bottomRow->addStretch();
    bottomRow->addWidget(quit);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(32, 32, 32, 32);
    root->setSpacing(0);
    root->addLayout(header);
    root->addSpacing(32);
    root->addLayout(fixRow);
    root->addSpacing(32 - ui::SymbolButton::focusMargin);
    root->addLayout(bottomRow);
    root->addStretch();
    // Below the layout rather than in it, so that everything above keeps its place.
    residentBox = new QCheckBox(tr("Keep Corvane in the tray when the window closes"), this);
    residentBox->setObjectName(QStringLiteral("resident"));
    residentBox->setFont(ui::font(ui::TextStyle::Caption));

    connect(fixButton, &QAbstractButton::clicked, this, &ContentView::restartTouchBar);
    connect(help, &QAbstractButton::clicked, this, &ContentView::showHelp);
    connect(copyButton, &QAbstractButton::clicked, this, &ContentView::copyReport);
    connect(manager, &TouchBarManager::reportRead, this, &ContentView::reportRead);
    copied.setSingleShot(true);
    copied.setInterval(copiedShown);
    connect(&copied, &QTimer::timeout, this, [this] {
        copyButton->setText(tr("Copy Report"));
        copyButton->setEnabled(true);
    });
    connect(quit, &QAbstractButton::clicked, qApp, &QCoreApplication::quit);
    ui::addQuitShortcut(this);

    connect(manager, &TouchBarManager::restartingChanged, this, &ContentView::refresh);
    // The count is saved before the restart ends: the next process to take the lock reads it.
    connect(manager, &TouchBarManager::restartingChanged, this, [this](bool restarting) {
        if (!restarting && this->restartLock)
            this->restartLock->unlock();
    });
    connect(manager, &TouchBarManager::hasTouchBarChanged, this, &ContentView::refresh);
    connect(manager, &TouchBarManager::restartFinished, this, &ContentView::finishRestart);
    connect(manager, &TouchBarManager::healthChanged, this, &ContentView::showHealth);
    if (afterWake) {
        afterWake->setParent(this);
        connect(afterWake, &AfterWake::healthRead, this, &ContentView::showWake);
    }
    // Keyboard users start on what the window is for, once it can be used.
    connect(manager, &TouchBarManager::detectionFinished, this, [this] {
        if (fixButton->isEnabled())
            fixButton->setFocus(Qt::OtherFocusReason);
    });
    refresh();
}

void ContentView::showEvent(QShowEvent*) {
    // Measuring text loads the fonts; a copy that stays in the tray never shows the view.
    if (std::exchange(placed, true))
        return;
    // "Copied" in its place must not move its neighbours.
    copyButton->setMinimumWidth(copyButton->sizeHint().width());
    residentBox->adjustSize();
    residentBox->move((viewWidth - residentBox->width()) / 2,
                      viewHeight - residentBox->height() - 16);
}

void ContentView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), ui::color::white);
    if (isVisible())
        start();
}

void ContentView::start() {
    if (appeared)
        return;
    // The first frame is being drawn; what may take a moment comes after it.
    appeared = true;
    QTimer::singleShot(0, this, [this] {
        checkForErrors();
        manager->performFullTouchBarDetection();
        if (afterWake)
            afterWake->listen();
    });
}

void ContentView::refresh() {
    const bool restarting = manager->isRestarting();
    // Keys pressed while a restart runs go nowhere rather than to the next button: the focus
    // waits on the view and comes back once the fix button can be pressed again.
    if (restarting && window()->focusWidget() == fixButton)
        setFocus(Qt::OtherFocusReason);
    if (healthShown)
        statusLine->setText(describeHealth(manager->health()));
    else
        statusLine->setText(manager->hasTouchBar()
                                ? tr("Fix your unresponsive Touch Bar with one click")
                                : tr("No Touch Bar detected on this device"));
    fixButton->showState(restarting, manager->hasTouchBar() || healthShown);
    if (!restarting && window()->focusWidget() == this && fixButton->isEnabled())
        fixButton->setFocus(Qt::OtherFocusReason);
}

void ContentView::restartTouchBar() {
    if (mayRestart())
        manager->restartTouchBar();
}

bool ContentView::mayRestart() {
    if (manager->isRestarting() || !restartLock ||
        restartLock->lock() != InstanceLock::Status::HeldElsewhere)
        return true;
    alertTitle = QStringLiteral("Error ❌");
    alertMessage =
        tr("Another restart of the Touch Bar is running (%1), so it is not restarted twice at "
           "once. Try again once it has ended.")
            .arg(restartLock->holder() > 0 ? tr("PID %1").arg(restartLock->holder())
                                           : tr("a `corvane fix`"));
    showingSuccess = false;
    presentAlert(false);
    return false;
}

void ContentView::showHealth() {
    // A restart's own reading speaks through its alert; the status line follows the health once
    // a reading after a wake found the Touch Bar not working.
    if (!healthShown)
        return;
    healthShown = needsAttention(manager->health());
    refresh();
}

void ContentView::showWake(const Health& health) {
    healthShown = needsAttention(health);
    refresh();
    if (!healthShown || manager->isRestarting())
        return;
    // While another copy restarts the Touch Bar, the wake is told rather than fixed twice.
    if (fixingAfterWake &&
        (!restartLock || restartLock->lock() != InstanceLock::Status::HeldElsewhere)) {
        fixRunsAfterWake = manager->fixAfterWake();
        if (fixRunsAfterWake)
            return;
        if (restartLock)
            restartLock->unlock();
    }
    alertTitle = tr("The Touch Bar is not working after wake");
    alertMessage = describeHealth(health);
    showingSuccess = false;
    offeringFix = true;
    presentAlert(false);
}

void ContentView::finishRestart(const std::optional<TouchBarError>& error) {
    if (std::exchange(fixRunsAfterWake, false)) {
        // Nobody pressed for it, so it speaks in one line, and offers nothing that asks for a
        // password.
        healthShown = error.has_value();
        refresh();
        if (!error) {
            alertTitle = tr("Touch Bar fixed after wake");
            alertMessage =
                tr("The Touch Bar was restarted (restart #%1).").arg(manager->restartCount());
        } else {
            alertTitle = tr("The Touch Bar could not be fixed after wake");
            alertMessage = error->errorDescription().section(QStringLiteral("\n\n"), 0, 0);
            if (manager->failedWakeFixes() >= failedWakesLimit)
                alertMessage += tr(" Corvane stops fixing it after wakes until a fix works.");
        }
        showingSuccess = false;
        offeringFix = error.has_value();
        presentAlert(false);
        return;
    }
    if (!error) {
        healthShown = false;
        refresh();
        alertTitle = QStringLiteral("Success! ✅");
        alertMessage = successMessage;
        showingSuccess = true;
    } else {
        alertTitle = QStringLiteral("Error ❌");
        alertMessage = error->errorDescription();
        showingSuccess = false;
    }
    presentAlert(error && error->kind() == TouchBarError::Kind::PermissionDenied);
}

void ContentView::checkForErrors() {
    const std::optional<TouchBarError>& error = manager->lastError();
    if (!error)
        return;
    alertTitle = QStringLiteral("Warning ⚠️");
    alertMessage = error->errorDescription();
    presentAlert(false);
}

void ContentView::showHelp() {
    const QUrl url(helpPage, QUrl::StrictMode);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void ContentView::copyReport() {
    // One reading at a time: it runs tools, and a second press would only queue another.
    copyButton->setEnabled(false);
    manager->readReport(History(History::defaultPath()).recent(reportedHistory));
}

void ContentView::reportRead(const QString& report) {
    QGuiApplication::clipboard()->setText(report);
    copyButton->setText(tr("Copied"));
    copied.start();
}

void ContentView::setNotifier(Notifier* speaker) {
    notifier = speaker;
    connect(notifier, &Notifier::fixInvoked, this, &ContentView::restartTouchBar);
    connect(notifier, &Notifier::answered, this, [this](bool shown) {
        if (shown)
            return;
        offeringFix = notifiedFix;
        window()->show();
        presentAlert(false);
    });
}

void ContentView::presentAlert(bool offerAdministrator) {
    // Only the window can offer the administrator's way.
    if (!window()->isVisible() && notifier && !offerAdministrator) {
        notifiedFix = std::exchange(offeringFix, false);
        notifier->notify(alertTitle, alertMessage.section(QStringLiteral("\n\n"), 0, 0),
                         notifiedFix);
        return;
    }
    if (!window()->isVisible()) {
        window()->show();
        window()->raise();
        window()->activateWindow();
    }
    if (alert) {
        alert->disconnect(this);
        alert->close();
        alert->deleteLater();
    }
    if (showingSuccess)
        alert = ui::openAlert(this, alertTitle, alertMessage, tr("Fix Again"), tr("Quit"));
    else if (offeringFix)
        alert = ui::openAlert(this, alertTitle, alertMessage, tr("Fix Touch Bar"), tr("Not Now"));
    else if (offerAdministrator)
        alert = ui::openAlert(this, alertTitle, alertMessage, tr("Restart as Administrator"),
                              tr("Cancel"));
    else
        alert = ui::openAlert(this, alertTitle, alertMessage, tr("OK"));
    connect(alert, &QMessageBox::finished, this,
            [this, box = alert.data(), success = showingSuccess, offerAdministrator,
             fix = std::exchange(offeringFix, false)] {
                alertClosed(box, success, offerAdministrator, fix);
            });
}

void ContentView::alertClosed(QMessageBox* box, bool success, bool administrator, bool fix) {
    const QMessageBox::ButtonRole role = box->buttonRole(box->clickedButton());
    box->deleteLater();
    if (success && role == QMessageBox::RejectRole) {
        QCoreApplication::quit();
    } else if ((success || fix) && role == QMessageBox::AcceptRole) {
        showingSuccess = false;
        restartTouchBar();
    } else if (administrator && role == QMessageBox::AcceptRole && mayRestart()) {
        manager->restartAsAdministrator();
    }
}

} // namespace corvane
