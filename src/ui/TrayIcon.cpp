#include "ui/TrayIcon.h"

#include "core/TouchBarManager.h"
#include "ui/Style.h"

#include <QApplication>
#include <QPainter>

namespace corvane::ui {
namespace {

// The strip with its light, drawn at each size a tray may ask for so that none is scaled.
QIcon stripIcon(const QColor& light) {
    QIcon icon;
    for (const int size : {16, 22, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const qreal height = size * 0.5;
        const QRectF strip(0, (size - height) / 2, size, height);
        painter.fillPath(continuousRoundedRect(strip, height / 3), color::black);
        const qreal diameter = height * 0.6;
        painter.setBrush(light);
        painter.drawEllipse(QRectF(size - height / 2 - diameter / 2 - size * 0.05,
                                   strip.center().y() - diameter / 2, diameter, diameter));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

TrayIcon::TrayIcon(const TouchBarManager& manager, QObject* parent)
    : QObject(parent)
    , manager(manager) {
    fix = menu.addAction(tr("Fix Touch Bar"), this, &TrayIcon::fixRequested);
    status = menu.addAction(QString());
    status->setEnabled(false);
    menu.addSeparator();
    menu.addAction(tr("Open Corvane"), this, &TrayIcon::openRequested);
    startAtLogin = menu.addAction(tr("Start at Login"));
    startAtLogin->setCheckable(true);
    connect(startAtLogin, &QAction::triggered, this, &TrayIcon::startAtLoginToggled);
    fixAfterWake = menu.addAction(tr("Fix After Wake"));
    fixAfterWake->setCheckable(true);
    connect(fixAfterWake, &QAction::triggered, this, &TrayIcon::fixAfterWakeToggled);
    menu.addAction(tr("Quit"), qApp, &QCoreApplication::quit);
    icon.setContextMenu(&menu);
    connect(&icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    emit openRequested();
            });
    connect(&manager, &TouchBarManager::healthChanged, this, &TrayIcon::showHealth);
    connect(&manager, &TouchBarManager::restartingChanged, this, &TrayIcon::showHealth);
    showHealth();
}

void TrayIcon::showStartAtLogin(bool on, const QString& note) {
    startAtLogin->setChecked(on);
    startAtLogin->setText(note.isEmpty() ? tr("Start at Login")
                                         : tr("Start at Login (%1)").arg(note));
}

void TrayIcon::showFixAfterWake(bool on) {
    fixAfterWake->setChecked(on);
}

void TrayIcon::showHealth() {
    const Health& health = manager.health();
    const QString words =
        manager.isRestarting() ? tr("Restarting the Touch Bar…") : describeHealth(health);
    const bool couldNotTell =
        health.state == HealthState::Unknown || health.state == HealthState::JournalUnread;
    const QColor light = health.isWorking() ? color::green
                         : couldNotTell     ? color::gray
                                            : color::red;
    icon.setIcon(stripIcon(light));
    icon.setToolTip(QStringLiteral("Corvane: ") + words);
    status->setText(words);
    fix->setEnabled(!manager.isRestarting());
}

} // namespace corvane::ui
