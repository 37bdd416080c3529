// The tray icon while standby output runs: the last cycle's counts as its tool tip, a menu that
// brings the window back, opens the results, stops standby or ends the program, and a desktop
// notification when drawings go to Failed. Only where the desktop has a tray.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/RunHost.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace ka::ui {

class TStandbyTray : public QObject {
    Q_OBJECT

  public:
    explicit TStandbyTray(QObject* parent);
    ~TStandbyTray() override;

    // Whether the desktop has a tray. Tests may answer instead (null restores the question).
    static bool Available();
    static void SetAvailableHook(std::function<bool()> hook);
    // Tests receive the desktop notifications instead of the desktop (null restores it).
    static void SetNotifyHook(std::function<void(const QString& title, const QString& text)> hook);

    // The icon is there while standby output is on, waiting or in a cycle.
    void SetStandby(ka::StandbyPhase phase);
    bool Shown() const;
    // The last cycle's result, for the tool tip; jobsNotDone marks the icon.
    void SetLastCycle(const QString& text, bool jobsNotDone);
    void Notify(const QString& title, const QString& text);
    QMenu* Menu() const { return menu_.get(); }
    QString ToolTip() const;

  signals:
    void ShowWindowAsked();
    void ResultsAsked();
    void StopStandbyAsked();
    void EndAsked();

  private:
    void Update();

    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_ = nullptr;
    QAction* ActionTrayShow = nullptr;
    QAction* ActionTrayResults = nullptr;
    QAction* ActionTrayStop = nullptr;
    QAction* ActionTrayEnd = nullptr;
    ka::StandbyPhase phase_ = ka::StandbyPhase::Idle;
    QString lastCycle_;
    bool notDone_ = false;
};

}  // namespace ka::ui
