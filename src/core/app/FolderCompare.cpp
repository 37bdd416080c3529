// Folder comparison: every drawing of folder 1 against the same-named drawing of folder 2.
#include "app/FolderCompare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/ConversionRun.h"
#include "app/RunModes.h"
#include "platform/platform.h"
#include "settings/OutputTypes.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

constexpr std::uint8_t kRuleSameSizeAndTime = 1;
constexpr std::uint8_t kRuleSizeDiffers = 2;

const char* const kMsgCannotOpenFolder = "Cannot open folder!";
const char* const kOnlyInFolder1 = "only in folder 1";
const char* const kOnlyInFolder2 = "only in folder 2";

struct FileFacts {
    std::uint32_t dosTime = 0;
    std::uint64_t size = 0;
};

// Time and size of one file of a pair, by opening it for reading: folders are refused, as
// Windows refuses them, and pipes or devices, which could block.
bool ReadFileFacts(const std::string& path, FileFacts& facts) {
    return platform::ReadDosTimeAndSize(path, facts.dosTime, facts.size);
}

}  // namespace

bool GetFileList(const std::string& pattern, std::vector<std::string>& list) {
    list.clear();
    // The locale-aware key is costly; it is made once per name, not once per comparison.
    std::vector<std::pair<std::string, std::string>> keyed;
    const auto take = [&keyed](const platform::DirEntry& entry) {
        // Pipes and devices are no drawings, and reading one could block.
        if (entry.name != "." && entry.name != ".." && !entry.isSpecial) {
            keyed.emplace_back(platform::TextSortKey(entry.name), entry.name);
        }
        return true;
    };
    // Names and kinds are all it needs: no entry is looked up on its own.
    const bool listed = platform::FindEntries(pattern, take, platform::EntryDetail::Kind);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    list.reserve(keyed.size());
    for (auto& item : keyed) {
        list.push_back(std::move(item.second));
    }
    return listed;
}

CompSkip CheckCompSkip(const std::string& path1, const std::string& path2,
                       std::uint8_t compSkipFlags, std::int32_t sizeOverPercent,
                       MessageSink& sink) {
    if (compSkipFlags == 0) {
        return CompSkip::Process;
    }
    FileFacts file2;
    if (!ReadFileFacts(path2, file2)) {
        sink.ShowMsg(PathMessage(path2, kMsgCannotOpen));
        return CompSkip::CannotOpen;
    }
    FileFacts file1;
    if (!ReadFileFacts(path1, file1)) {
        sink.ShowMsg(PathMessage(path1, kMsgCannotOpen));
        return CompSkip::CannotOpen;
    }
    if ((compSkipFlags & kRuleSameSizeAndTime) != 0 && file1.size == file2.size &&
        file1.dosTime == file2.dosTime) {
        return CompSkip::SameSizeAndTime;
    }
    if ((compSkipFlags & kRuleSizeDiffers) == 0) {
        return CompSkip::Process;
    }
    if (file1.size == 0 || file2.size == 0) {
        return CompSkip::ZeroSize;
    }
    const double larger = static_cast<double>(std::max(file1.size, file2.size));
    const double difference = static_cast<double>(
        file1.size > file2.size ? file1.size - file2.size : file2.size - file1.size);
    const double percent = difference / larger * 100.0;
    if (static_cast<double>(sizeOverPercent) > percent) {
        return CompSkip::Process;
    }
    return CompSkip::SizeDiffers;
}

std::string CompLogLine(CompSkip reason, std::int32_t sizeOverPercent, const std::string& path1) {
    switch (reason) {
        case CompSkip::SameSizeAndTime:
            return "*1 File size and update time are the same ; " + path1;
        case CompSkip::ZeroSize:
            return "*2 Size of file1 or file2 is zero ; " + path1;
        case CompSkip::SizeDiffers:
            return "*3 File size differs by more than " + std::to_string(sizeOverPercent) + "% ; " +
                   path1;
        case CompSkip::Process:
        case CompSkip::CannotOpen:
            break;
    }
    return {};
}

CompLog::CompLog(std::string path, PathRules rules) : path_(std::move(path)), rules_(rules) {}

bool CompLog::Write(const std::string& line) {
    if (path_.empty()) {
        return false;
    }
    if (!file_) {
        int errorCode = 0;
        file_ = platform::OpenFile(path_, "ab", errorCode);
        if (!file_) {
            // The log lies in the converter's folder, which a fresh machine may not have yet.
            std::string folder = FolderPart(path_, rules_);
            if (folder.size() > 1) {
                folder.pop_back();
                platform::CreateDirectoryOne(folder);
                file_ = platform::OpenFile(path_, "ab", errorCode);
            }
        }
        if (!file_) {
            return false;
        }
    }
    // Flushed per line: a run that ends abnormally keeps every line logged so far.
    return WriteLineCrLf(file_.get(), line) && std::fflush(file_.get()) == 0;
}

std::string CompLogFailureMessage() {
    return PathMessage(platform::Utf8ToSystem("Logファイル Compar2.log"), kMsgCannotOpen);
}

std::string PrintablePath(const std::string& path) {
    std::string shown;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::vector<std::string> RunModes::ButtonChgAreaClick(const RunChoices& choices) {
    BeginRun(choices);
    if (!OutputFolderUsable()) {
        return {};
    }
    host_.Set_Button_Enable(false);
    host_.SetBusyCursor(0);
    LogFileClear();
    standby_.unsafeReported.clear();  // each run of its own reports what it left alone
    std::vector<std::string> pairs = CompareFolders(nullptr);
    ReportUnsafePaths();  // under standby the cycle reports

    if (settings_.iSavBatch != 0 && !pairs.empty()) {
        // A list that cannot be written is passed over silently; the old one stays whole.
        WriteLinesReplacing(settings_.sOutListFileName, pairs);
    }
    host_.Set_Button_Enable(true);
    host_.SetBusyCursor(2);
    return pairs;
}

std::vector<std::string> RunModes::CompareFolders(const std::vector<std::string>* stablePaths) {
    host_.ListClear();
    const bool inStandby = stablePaths != nullptr;
    std::vector<std::string> pairs;

    [&] {
        std::vector<std::string> names1;
        std::vector<std::string> names2;
        const bool listed1 = GetFileList(settings_.sChgAreaDir1, names1);
        const bool listed2 = GetFileList(settings_.sChgAreaDir2 + "*.*", names2);
        if (!listed1 || !listed2) {
            sink_.ShowMsg((listed1 ? settings_.sChgAreaDir2 : settings_.sChgAreaDir1) + " " +
                          kMsgCannotOpenFolder);
            NoteExitCode(2);
            return;
        }
        RunPlan plan;
        plan.mode = inStandby ? "standby comparison" : "comparison";
        plan.settlesInputs = inStandby;
        plan.numberExistingOutputs = inStandby;
        plan.display = settings_.iOutTyp == kOutTypDisplay;
        ConversionRun run(Context(), plan);
        if (!run.Open()) {
            NoteExitCode(run.ExitCode());
            return;
        }
        host_.SetStatusText("Outputting !");
        host_.PumpMessages();

        const std::string folder1 = FolderPart(settings_.sChgAreaDir1, rules_);
        // Folder 2 is used as given everywhere (search, pair line, deletion), so the file that
        // is deleted is always the file that was compared.
        const std::string& folder2 = settings_.sChgAreaDir2;
        CompLog log(LogFilePath(), rules_);

        // Names in a folder are unique, so "the first equal name of list 2" is simply whether
        // list 2 holds the name; a hash set keeps the pairing linear.
        const std::unordered_set<std::string_view> inFolder2(names2.begin(), names2.end());
        // Under standby output only the pairs whose folder-1 file kept its size through the
        // wait: one that arrived or grew meanwhile waits for a later cycle, and is compared and
        // logged once, when it is complete.
        const std::vector<std::string> none;
        const std::vector<std::string>& stableList = inStandby ? *stablePaths : none;
        const std::unordered_set<std::string_view> stable(stableList.begin(), stableList.end());

        // Lines of the run list, counted from its clearing: compared pairs, pairs the rules
        // skipped and files without a partner, each with its mark.
        long long listLine = -1;
        // A comparison on its own names the drawings that have no partner, in the list and in
        // the report; standby leaves them for a later cycle, when the partner may have come.
        const bool listUnpaired = !inStandby;
        RunReport unpaired;
        if (listUnpaired && !settings_.sDataDir.empty()) {
            unpaired.Open(RunReport::PathIn(settings_.sDataDir, rules_));
        }
        const auto leaveAlone = [&](const std::string& path, const char* why) {
            host_.ListAdd(path);
            host_.MarkLineAside(++listLine, why);
            unpaired.Line({plan.mode, "left alone", why, PrintablePath(path)}, {});
            host_.PumpMessages();
        };

        bool logFailureShown = false;
        JobSpec spec;
        std::string arguments;
        for (const std::string& name : names1) {
            if (!inFolder2.contains(name)) {
                if (listUnpaired) {
                    leaveAlone(folder1 + name, kOnlyInFolder1);
                }
                continue;
            }
            const std::string path1 = folder1 + name;
            if (inStandby && !stable.contains(path1)) {
                continue;
            }
            const std::string path2 = folder2 + name;
            // The folders standby output moves failed pairs into are no drawings.
            if (inStandby && name == kFailedFolderName && platform::DirectoryExists(path1)) {
                continue;
            }
            // A pair that the job syntax cannot carry is neither compared nor deleted.
            const bool unsafe1 = NoteUnsafePath(path1);
            if (NoteUnsafePath(path2) || unsafe1) {
                continue;
            }
            const CompSkip verdict = CheckCompSkip(path1, path2, settings_.iCompSkipFlags,
                                                   settings_.iCompFileSizeOver, sink_);
            if (verdict == CompSkip::CannotOpen) {
                continue;
            }
            const std::string logLine = CompLogLine(verdict, settings_.iCompFileSizeOver, path1);
            // One message per run is enough: the log's folder is the same for every line, and
            // an unattended run must not stack up a modal box per dropped pair.
            if (!logLine.empty() && !log.Write(logLine) && !logFailureShown) {
                sink_.ShowMsg(CompLogFailureMessage());
                logFailureShown = true;
            }

            const std::string pairLine = path1 + "," + path2;
            GetJob(pairLine, spec, arguments);
            // A pair's files: both drawings and, under standby, the comment files of the first.
            if (inStandby) {
                const std::string comment = ReplaceExtension(path1, ".cmt", rules_);
                for (const std::string& extra : {comment, comment + "b"}) {
                    if (platform::FileExists(extra)) {
                        spec.inputs.push_back(extra);
                    }
                }
            }
            host_.ListAdd(pairLine);
            bool added = true;
            if (verdict == CompSkip::Process) {
                pairs.push_back(pairLine);
                host_.PumpMessages();
                added = run.Add(spec, arguments, ++listLine);
            } else {
                added = run.AddDecided(
                    spec, {JobResult::Skipped, JobReason::SkippedByRule, static_cast<int>(verdict)},
                    ++listLine);
            }
            // "End" stops after the pair in hand; the pairs so far still go to the converter.
            if (!added || flags_.bEndRequested || stopRequested_) {
                break;
            }
        }
        // Folder 2 is searched for every file; only those the wildcard of folder 1 takes can
        // lack a partner there.
        if (listUnpaired && !flags_.bEndRequested && !stopRequested_) {
            const std::string pattern = NamePart(settings_.sChgAreaDir1, rules_);
            const std::unordered_set<std::string_view> inFolder1(names1.begin(), names1.end());
            for (const std::string& name : names2) {
                if (!inFolder1.contains(name) && platform::WildcardMatches(pattern, name)) {
                    leaveAlone(folder2 + name, kOnlyInFolder2);
                }
            }
        }
        unpaired.Close();
        host_.SetListBoxExtent();
        // Closed before the converter runs, which may write to the same folder.
        log.Close();
        ShowProgressNow(inStandby ? "Converting" : nullptr);
        run.Finish();
        host_.SetStatusText("Waiting !");
        TakeOutcome(run);
        if (inStandby) {
            NoteUnsettled(run);
        }
    }();

    host_.SetListBoxExtent();
    return pairs;
}

}  // namespace ka
