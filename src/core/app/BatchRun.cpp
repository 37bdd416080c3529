// Batch output: every line of the batch list file is one job for the converter.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "app/ConversionRun.h"
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
// A guess at the jobs of a list from its size: rather too many than too few (a table sized
// too small grows a step at a time), and never more than a list could sensibly hold.
constexpr std::uint64_t kBytesPerListLine = 32;
constexpr std::uint64_t kMostExpectedJobs = 4'000'000;

// Page "Output2" takes PDF input only: the first entry, when it names an existing ".pdf" file.
bool IsExistingPdf(const std::string& entry, const PathRules& rules) {
    if (AsciiLower(ExtensionOf(NamePart(entry, rules))) != ".pdf") {
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
    // The run streams: one line of the list in memory at a time, the jobs kept on disk as they
    // come, so lists of any length run in the same memory.
    [&] {
        if (settings_.sOutListFileName.empty()) {
            sink_.ShowMsg(kMsgNoBatchFile);
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
        // The jobs are written and run under the data folder's lock: another copy of the
        // program on the same folder waits rather than rewriting them under a running converter.
        RunPlan plan;
        plan.mode = "batch";
        plan.display = settings_.iOutTyp == kOutTypDisplay;
        if (platform::FileStamp stamp; platform::GetFileStamp(settings_.sOutListFileName, stamp)) {
            plan.expectedJobs = static_cast<std::size_t>(
                std::min<std::uint64_t>(stamp.size / kBytesPerListLine, kMostExpectedJobs));
        }
        ConversionRun run(Context(), plan);
        if (!run.Open()) {
            NoteExitCode(run.ExitCode());
            return;
        }

        host_.SetBusyCursor(0);
        host_.SetStatusText("Outputting !");
        host_.PumpMessages();
        host_.ListClear();
        int listCount = 0;
        long long listLine = -1;  // of the line in hand, counted from the list's clearing

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
                if (!run.Add(spec, arguments, listLine)) {
                    break;
                }
            }
            if (flags_.bEndRequested || stopRequested_) {
                break;
            }
        }
        host_.SetListBoxExtent();
        list.reset();
        run.Finish();
        host_.SetStatusText("Waiting !");
        TakeOutcome(run);
    }();

    if (skipped.Count() > 0) {
        sink_.ShowMsg(skipped.Message("line was skipped", "lines were skipped",
                                      "the first entry is no existing .pdf file."));
    }
    host_.SetBusyCursor(2);
    host_.Set_Button_Enable(true);
}

}  // namespace ka
