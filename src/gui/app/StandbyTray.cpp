#include "gui/app/StandbyTray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <utility>

#include "gui/app/ResultMarks.h"

namespace ka::ui {

namespace {

constexpr int kNotificationMs = 15000;

std::function<bool()>& AvailableHook() {
    static std::function<bool()> hook;
    return hook;
}

std::function<void(const QString&, const QString&)>& NotifyHook() {
    static std::function<void(const QString&, const QString&)> hook;
    return hook;
}

QAction* MakeAction(QMenu& menu, const char* name, const QString& text) {
    QAction* action = menu.addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

bool TStandbyTray::Available() {
    return AvailableHook() ? AvailableHook()() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TStandbyTray::SetAvailableHook(std::function<bool()> hook) {
    AvailableHook() = std::move(hook);
}

void TStandbyTray::SetNotifyHook(std::function<void(const QString&, const QString&)> hook) {
    NotifyHook() = std::move(hook);
}

TStandbyTray::TStandbyTray(QObject* parent) : QObject(parent), menu_(std::make_unique<QMenu>()) {
    setObjectName(QStringLiteral("StandbyTray"));
    menu_->setObjectName(QStringLiteral("MenuTray"));
    ActionTrayShow = MakeAction(*menu_, "ActionTrayShow", QStringLiteral("&Show KorvaneAuto"));
    ActionTrayResults = MakeAction(*menu_, "ActionTrayResults", QStringLiteral("&Results"));
    menu_->addSeparator();
    ActionTrayStop = MakeAction(*menu_, "ActionTrayStop", QStringLiteral("Stop S&tandby"));
    ActionTrayEnd = MakeAction(*menu_, "ActionTrayEnd", QStringLiteral("&End"));
    menu_->setDefaultAction(ActionTrayShow);
    connect(ActionTrayShow, &QAction::triggered, this, &TStandbyTray::ShowWindowAsked);
    connect(ActionTrayResults, &QAction::triggered, this, &TStandbyTray::ResultsAsked);
    connect(ActionTrayStop, &QAction::triggered, this, &TStandbyTray::StopStandbyAsked);
    connect(ActionTrayEnd, &QAction::triggered, this, &TStandbyTray::EndAsked);
}

TStandbyTray::~TStandbyTray() = default;

void TStandbyTray::SetStandby(ka::StandbyPhase phase) {
    phase_ = phase;
    const bool on = phase != ka::StandbyPhase::Idle;
    if (on && !icon_ && Available()) {
        icon_ = new QSystemTrayIcon(this);
        icon_->setObjectName(QStringLiteral("TrayIcon"));
        icon_->setContextMenu(menu_.get());
        connect(
            icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit ShowWindowAsked();
            });
    }
    Update();
    if (icon_)
        icon_->setVisible(on);
}

bool TStandbyTray::Shown() const {
    return icon_ && icon_->isVisible();
}

void TStandbyTray::SetLastCycle(const QString& text, bool jobsNotDone) {
    lastCycle_ = text;
    notDone_ = jobsNotDone;
    Update();
}

QString TStandbyTray::ToolTip() const {
    QString tip = QStringLiteral("KorvaneAuto: standby output, ");
    tip += phase_ == ka::StandbyPhase::Waiting ? QStringLiteral("waiting")
                                               : QStringLiteral("converting");
    tip += QLatin1Char('\n');
    tip += lastCycle_.isEmpty() ? QStringLiteral("No cycle has ended yet") : lastCycle_;
    return tip;
}

void TStandbyTray::Update() {
    // Stopping is asked for once; a cycle ends first.
    ActionTrayStop->setEnabled(phase_ == ka::StandbyPhase::Waiting ||
                               phase_ == ka::StandbyPhase::Cycle);
    if (!icon_)
        return;
    icon_->setIcon(ProgramIcon(notDone_));
    icon_->setToolTip(ToolTip());
}

void TStandbyTray::Notify(const QString& title, const QString& text) {
    if (!Shown())
        return;
    if (NotifyHook()) {
        NotifyHook()(title, text);
        return;
    }
    icon_->showMessage(title, text, QSystemTrayIcon::Warning, kNotificationMs);
}

}  // namespace ka::ui
