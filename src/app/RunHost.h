// What the run modes need of the main window. The Qt window implements it; tests use a recorder.
#pragma once

#include <string>

namespace ka {

class RunHost {
  public:
    virtual ~RunHost() = default;

    // Status line (Label1).
    virtual void SetStatusText(const std::string& text) = 0;
    // The summary of a run that has ended ("2,998 written, 2 without output"). Output only.
    virtual void ShowRunSummary(const std::string& summary) { SetStatusText(summary); }

    // Run list (ListBox1).
    virtual void ListClear() = 0;
    virtual void ListAdd(const std::string& line) = 0;
    virtual int ListCount() const = 0;
    virtual std::string ListItem(int index) const = 0;
    virtual void ListDeleteFirst(int count) = 0;
    virtual void ListSetTopIndex(int index) = 0;
    virtual void SetListBoxExtent() = 0;  // horizontal extent = widest line

    // Run controls, cursor, message pumping.
    virtual void Set_Button_Enable(bool enable) = 0;
    virtual void SetBusyCursor(int flag) = 0;  // 0: hourglass, other: default cursor
    virtual void PumpMessages() = 0;

    // Which page and box are active.
    virtual bool IsOutput1Shown() const = 0;  // page "Output1" (TabSheet1) shown
    virtual int SelectedOutTyp2() const = 0;  // item of RadioGroupOutTyp2, -1 for none
    virtual bool IsCompareBoxChecked() const = 0;

    // Standby timer (Timer1, 2000 ms).
    virtual bool IsTimerEnabled() const = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;

    // Window life.
    virtual void CloseMainWindow() = 0;
    virtual void MinimizeApp() = 0;
};

}  // namespace ka
