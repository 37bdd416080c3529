// What a run reports to the main window. Output only: a run takes the window's choices as one
// value when it starts (RunChoices) and never asks the window for anything while it runs. The Qt
// window implements it; tests use a recorder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/JobResult.h"

namespace ka {

// Standby output between a start and a stop. Waiting: counting down, the timer runs. Cycle:
// listing, converting and deleting; timer ticks are not taken. Stopping: a stop was asked for
// during a cycle, which ends first.
enum class StandbyPhase { Idle, Waiting, Cycle, Stopping };

// How far the converter has come in the current run.
struct RunProgress {
    long long done = 0;   // jobs whose output has appeared
    long long total = 0;  // jobs handed over
    long long elapsedMs = 0;
    std::string step;  // standby: the step of the cycle; empty otherwise
};

class RunHost {
  public:
    virtual ~RunHost() = default;

    // Status line (Label1).
    virtual void SetStatusText(const std::string& text) = 0;
    // The summary of a run that has ended ("2,998 written, 2 without output"). Output only.
    virtual void ShowRunSummary(const std::string& summary) { SetStatusText(summary); }

    // Run list (ListBox1). Line numbers count from the last ListClear, dropped lines included.
    virtual void ListClear() = 0;
    virtual void ListAdd(const std::string& line) = 0;
    virtual void ListDeleteFirst(int count) = 0;
    virtual void ListSetTopIndex(int index) = 0;
    virtual void SetListBoxExtent() = 0;  // horizontal extent = widest line
    // Marks the job shown on that line with its result and, for a job not done, why. A line may
    // be marked Written while the converter still runs (its output is there and whole) and then
    // again with the result of the run.
    virtual void MarkLine(long long line, JobResult result, std::string_view reason) = 0;
    // Marks a line that names a file no job takes (a drawing present in one compared folder
    // only) with why it was left alone.
    virtual void MarkLineAside(long long line, std::string_view reason) {
        static_cast<void>(line);
        static_cast<void>(reason);
    }
    // Standby moved a job's inputs into Failed; reason says why the job was not done. Called
    // while the run settles, before ShowRunSummary.
    virtual void MovedToFailed(const std::vector<std::string>& inputs, std::string_view reason) {
        static_cast<void>(inputs);
        static_cast<void>(reason);
    }

    // While the converter runs.
    virtual void ShowProgress(const RunProgress& progress) = 0;

    // Run controls, cursor, standby's phase.
    virtual void Set_Button_Enable(bool enable) = 0;
    virtual void SetBusyCursor(int flag) = 0;  // 0: hourglass, other: default cursor
    virtual void StandbyChanged(StandbyPhase phase) = 0;

    // Lets the window repaint and take input between steps of a run and while it waits.
    virtual void PumpMessages() = 0;
};

}  // namespace ka
