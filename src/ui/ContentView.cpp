#include "ContentView.h"

#include "AlertBox.h"
#include "Emblem.h"
#include "FixButton.h"
#include "Style.h"
#include "SymbolButton.h"
#include "TouchBarManager.h"
#include "UrlOpener.h"
#include "Version.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

namespace corvane {
namespace {

constexpr int viewWidth = 420;
constexpr int viewHeight = 360;

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

// The quit key works in the window and in its alert alike: Qt ignores a window's shortcuts
// while a modal alert covers it, so the alert carries one of its own.
void ContentView::addQuitShortcut(QWidget* owner) {
    auto* shortcut = new QShortcut(QKeySequence::Quit, owner);
    // Some desktops bind no standard quit key; Ctrl+Q (Cmd+Q on macOS) is what users try.
    if (shortcut->key().isEmpty())
        shortcut->setKey(QKeySequence(Qt::CTRL | Qt::Key_Q));
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { quitApplication(); });
}

ContentView::ContentView(const PlatformServices& platform, UrlOpener& urlOpener, QWidget* parent)
    : QWidget(parent)
    , manager(std::make_shared<TouchBarManager>(platform))
    , urlOpener(urlOpener) {
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
    // The buttons keep room for their focus rings; their labels still sit 60 from the edges.
    constexpr int rowInset = 60 - ui::SymbolButton::focusMargin;
    auto* bottomRow = new QHBoxLayout;
    bottomRow->setContentsMargins(rowInset, 0, rowInset, 0);
    bottomRow->setSpacing(24);
    bottomRow->addWidget(help);
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

    connect(fixButton, &QAbstractButton::clicked, this, [this] { restartTouchBar(); });
    connect(help, &QAbstractButton::clicked, this, [this] { showHelp(); });
    connect(quit, &QAbstractButton::clicked, this, [this] { quitApplication(); });
    addQuitShortcut(this);

    subscription = manager->objectWillChange().subscribe([this] { scheduleRefresh(); });
    refresh();
}

ContentView::~ContentView() {
    // A restart still running keeps the manager alive; it must not call back into us.
    manager->objectWillChange().unsubscribe(subscription);
}

void ContentView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), ui::color::white);
    if (appeared || !isVisible())
        return;
    // The first frame is being drawn; the checks that may take a moment come after it.
    appeared = true;
    QTimer::singleShot(0, this, [this] { checkForErrors(); });
    QTimer::singleShot(0, this, [this] {
        manager->performFullTouchBarDetection();
        // Keyboard users start on what the window is for, once it can be used.
        refresh();
        if (fixButton->isEnabled())
            fixButton->setFocus(Qt::OtherFocusReason);
    });
}

// The manager announces a change before it stores the new value, so the view looks again
// once the announcing write has finished.
void ContentView::scheduleRefresh() {
    if (refreshScheduled)
        return;
    refreshScheduled = true;
    QMetaObject::invokeMethod(this, &ContentView::refresh, Qt::QueuedConnection);
}

void ContentView::refresh() {
    refreshScheduled = false;
    statusLine->setText(manager->hasTouchBar()
                            ? tr("Fix your unresponsive Touch Bar with one click")
                            : tr("No Touch Bar detected on this device"));
    fixButton->showState(manager->isRestarting(), manager->hasTouchBar());
}

void ContentView::restartTouchBar() {
    manager->restartTouchBar([view = QPointer<ContentView>(this)](TouchBarResult result) {
        if (view)
            view->finishRestart(result);
    });
}

void ContentView::finishRestart(const TouchBarResult& result) {
    if (result.isSuccess()) {
        alertTitle = QStringLiteral("Success! ✅");
        alertMessage = successMessage;
        showingSuccess = true;
    } else {
        alertTitle = QStringLiteral("Error ❌");
        alertMessage = result.error().localizedDescription();
        showingSuccess = false;
    }
    presentAlert();
}

void ContentView::checkForErrors() {
    const std::optional<TouchBarError>& error = manager->lastError();
    if (!error)
        return;
    alertTitle = QStringLiteral("Warning ⚠️");
    alertMessage = error->localizedDescription();
    presentAlert();
}

void ContentView::showHelp() {
    const QUrl url(helpPage, QUrl::StrictMode);
    if (url.isValid())
        urlOpener.open(url);
}

void ContentView::quitApplication() {
    QCoreApplication::quit();
}

void ContentView::presentAlert() {
    if (alert) {
        alert->disconnect(this);
        alert->close();
        alert->deleteLater();
    }
    auto* box = new QMessageBox(this);
    addQuitShortcut(box);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(alertTitle);
    setAlertTexts(*box, alertTitle, alertMessage);
    if (showingSuccess) {
        box->addButton(tr("Fix Again"), QMessageBox::AcceptRole);
        box->setEscapeButton(box->addButton(tr("Quit"), QMessageBox::RejectRole));
    } else {
        box->addButton(tr("OK"), QMessageBox::AcceptRole);
    }
    connect(box, &QMessageBox::finished, this,
            [this, box, success = showingSuccess] { alertClosed(box, success); });
    alert = box;
    box->open();
}

void ContentView::alertClosed(QMessageBox* box, bool success) {
    const QMessageBox::ButtonRole role = box->buttonRole(box->clickedButton());
    box->deleteLater();
    if (!success)
        return;
    if (role == QMessageBox::RejectRole) {
        quitApplication();
    } else if (role == QMessageBox::AcceptRole) {
        showingSuccess = false;
        restartTouchBar();
    }
}

} // namespace corvane
