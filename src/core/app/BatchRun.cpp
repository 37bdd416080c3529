// Batch output: every line of the batch list file is one job for the converter.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "app/RunModes.h"
#include "platform/platform.h"
#include "settings/OutputTypes.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

constexpr int kListKeepLimit = 100;  // more lines than this and the oldest go
constexpr int kListDropCount = 50;
constexpr int kListVisibleLines = 15;

// Page "Output2" takes PDF input only: the first entry, when it names an existing ".pdf" file.
bool IsExistingPdf(const std::string& entry, const PathRules& rules) {
    const std::string name = NamePart(entry, rules);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || AsciiLower(std::string_view(name).substr(dot)) != ".pdf") {
        return false;
    }
    return platform::FileExists(entry);
}

}  // namespace

void RunModes::ButtonBatchOutputClick(const RunChoices& choices) {
    BeginRun(choices);
    host_.Set_Button_Enable(false);
    // Lines page "Output2" cannot take are told once, after the run, not one box per line.
    RefusedItems skipped;

    // Every way out of the run, refused or done, ends in the same restoring steps below.
    // The run streams: one line of the list in memory at a time, the record file written as it
    // goes, so lists of any length run in the same memory.
    [&] {
        if (settings_.sOutListFileName.empty()) {
            sink_.ShowMsg("There is no specification of batch file!");
            NoteExitCode(2);
            return;
        }

        int errorCode = 0;
        platform::FilePtr list;
        // A folder opens for reading on POSIX and only fails at the first read; refuse it here
        // as Windows does, so it is reported instead of running as an empty list.
        if (!platform::DirectoryExists(settings_.sOutListFileName)) {
            list = platform::OpenFile(settings_.sOutListFileName, "rb", errorCode);
        }
        if (!list) {
            sink_.ShowMsg(PathMessage(settings_.sOutListFileName, kMsgCannotOpen));
            NoteExitCode(2);
            return;
        }
        // The record file is written and run under the data folder's lock: another copy of the
        // program on the same folder waits rather than rewriting it under a running converter.
        if (!OpenRun("batch", false, 0)) {
            return;
        }
        platform::FilePtr record = OpenRecordFile();
        if (!record) {
            return;
        }

        host_.SetBusyCursor(0);
        host_.SetStatusText("Outputting !");
        host_.PumpMessages();
        host_.ListClear();
        int listCount = 0;
        long long listLine = -1;  // of the line in hand, counted from the list's clearing
        long long jobCount = 0;
        bool recordFailed = false;
        const bool display = settings_.iOutTyp == kOutTypDisplay;
        // Display starts the converter per job; the run's line reports the first abnormal end.
        platform::ProcessResult converter;

        TextLineReader reader(list.get());
        std::string line;
        std::string arguments;
        JobSpec spec;
        while (reader.ReadLine(line)) {
            bool accepted = true;
            if (!choices_.output1Shown) {
                line.erase(std::min(line.find(','), line.size()));
                accepted = IsExistingPdf(line, rules_);
            }
            if (!accepted) {
                skipped.Add(line);
            } else {
                if (listCount > kListKeepLimit) {
                    host_.ListDeleteFirst(kListDropCount);
                    listCount -= kListDropCount;
                }
                host_.ListAdd(line);
                ++listCount;
                ++listLine;
                host_.ListSetTopIndex(std::max(0, listCount - kListVisibleLines));
                host_.PumpMessages();

                GetJob(line, spec, arguments);
                if (display) {
                    ++progress_.total;
                    const JobResult result = RunDisplayJob(arguments, converter);
                    AddJob(spec, false, &result);
                    const bool shown = result == JobResult::Shown;
                    progress_.done += shown ? 1 : 0;
                    host_.MarkLine(listLine, result, {});
                } else if (WriteLineCrLf(record.get(), arguments)) {
                    ++jobCount;
                    AddJob(spec);
                } else {
                    recordFailed = true;
                }
            }
            if (recordFailed || flags_.bEndRequested || stopRequested_) {
                break;
            }
        }
        host_.SetListBoxExtent();

        list.reset();
        if (!CloseRecordFile(std::move(record), recordFailed)) {
            return;
        }
        if (jobCount > 0) {
            // Job n is line n of the run list: every accepted line is one job.
            progress_.total = jobCount;
            OutputWatch watch(settings_.sComLineFile, firstJobLine_, runStartStamp_);
            converter = RunKorvane(std::string(), &watch);
        }
        host_.SetStatusText("Waiting !");
        FinishRun(converter);
    }();

    if (skipped.Count() > 0) {
        sink_.ShowMsg(skipped.Message("line was skipped", "lines were skipped",
                                      "the first entry is no existing .pdf file."));
    }
    host_.SetBusyCursor(2);
    host_.Set_Button_Enable(true);
}

}  // namespace ka
