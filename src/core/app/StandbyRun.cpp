// Standby output: watch an input folder and convert the files that kept their size over a
// whole waiting period. One call per click or timer tick does one step of the cycle.
#include "app/StandbyRun.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/ConversionRun.h"
#include "app/RunModes.h"
#include "platform/platform.h"
#include "settings/DataFiles.h"
#include "settings/OutputTypes.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

constexpr std::size_t kSizeFieldWidth = 10;
constexpr std::uint64_t kDecimalFieldMax = 9'999'999'999ULL;
constexpr std::uint64_t kWideBase = 36;
constexpr std::size_t kWideDigits = kSizeFieldWidth - 1;
constexpr std::int32_t kSecondsPerTick = 2;
constexpr std::size_t kFileBufferSize = 256 * 1024;
constexpr int kSharedProbeRetries = 2;
constexpr auto kSharedProbePause = std::chrono::milliseconds(5);

const char* const kFirstSnapshot = kFirstSnapshotFileName;
const char* const kSecondSnapshot = kSecondSnapshotFileName;
const char* const kWorkList = kWorkListFileName;

// The code of a failed stdio call: errno where the runtime set it.
int LastIoError() {
    return errno != 0 ? errno : EIO;
}

constexpr std::uint64_t WideFieldMax() {
    std::uint64_t max = 1;
    for (std::size_t i = 0; i < kWideDigits; ++i) {
        max *= kWideBase;
    }
    return max - 1;
}

}  // namespace

std::string SnapshotSizeField(std::uint64_t size) {
    if (size <= kDecimalFieldMax) {
        const std::string digits = std::to_string(size);
        return std::string(kSizeFieldWidth - digits.size(), ' ') + digits;
    }
    if (size > WideFieldMax()) {
        return {};
    }
    static constexpr std::string_view kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string field(kSizeFieldWidth, '0');
    field[0] = '+';
    for (std::size_t i = kSizeFieldWidth - 1; i >= 1; --i) {
        field[i] = kDigits[size % kWideBase];
        size /= kWideBase;
    }
    return field;
}

std::string StandbyPattern(const std::string& inputSpec, bool output1Shown,
                           const PathRules& rules) {
    const std::string pattern = NamePart(inputSpec, rules);
    // Page "Output2" takes PDF input only.
    return output1Shown ? pattern : ReplaceExtension(pattern, ".pdf", rules);
}

std::string WaitTimeText(std::int32_t seconds) {
    const std::int32_t hours = seconds / 3600;
    const std::int32_t rest = seconds % 3600;
    return "Waiting!  Waiting time=" + std::to_string(hours) + " Hour  " +
           std::to_string(rest / 60) + " Minute  " + std::to_string(rest % 60) + " Second";
}

void RunModes::ShowWaitTime() {
    std::string text = WaitTimeText(standby_.iWaitCountdown);
    // The last cycle's outcome stays in view through the wait that follows it.
    if (!lastSummary_.empty()) {
        text += "   Last cycle: " + lastSummary_;
    }
    host_.SetStatusText(text);
}

void RunModes::ShowIoError(int& ioError) {
    if (ioError != 0) {
        sink_.ShowMsg("I/O Error code=" + std::to_string(ioError));
    }
    ioError = 0;
}

// iIoResult keeps the snapshot's result; only the message is shown.
void RunModes::ShowSnapshotError() {
    int ioError = settings_.iIoResult;
    ShowIoError(ioError);
}

bool RunModes::ProbeShared(const platform::DirEntry& entry, const std::string& path,
                           platform::UnsharedFile& probe) {
    bool free = platform::CanOpenEntryReadWrite(entry, path, probe);
    // On a shared hot folder the other machines' own checks hold each file for a moment: a
    // file refused once is asked again before it waits for the next cycle.
    for (int retry = 0; !free && shared_ && retry < kSharedProbeRetries; ++retry) {
        std::this_thread::sleep_for(kSharedProbePause);
        free = platform::CanOpenEntryReadWrite(entry, path, probe);
    }
    return free;
}

void RunModes::WriteFileList(const std::string& snapshotFile, bool second) {
    int errorCode = 0;
    platform::FilePtr file = platform::OpenFile(snapshotFile, "wb", errorCode);
    settings_.iIoResult = file ? 0 : errorCode;
    if (!file) {
        return;
    }
    platform::BufferForOneThread(file.get(), kFileBufferSize);
    host_.ListClear();
    standby_.secondStamps.Clear();
    if (second) {
        standby_.uncheckedTimes.clear();
        // Sized for the first snapshot's files, so the map is not grown step by step.
        standby_.secondStamps.Reserve(standby_.firstTimes.size());
    } else {
        standby_.firstTimes.clear();
    }

    std::string line;
    std::string path;
    const auto listEntry = [&](const platform::DirEntry& entry) {
        if (shared_) {
            shared_->Beat();  // a long listing over a slow share must not look like a death
        }
        // Folders, read-only files and pipes or devices are never taken; the kinds save the
        // try. The listing gives no attributes where it gives kinds; the probe below refuses a
        // read-only file.
        if (entry.name == "." || entry.name == ".." || entry.isDirectory || entry.isReadOnly) {
            return true;
        }
        path.assign(standby_.sStandbyDir);
        path += entry.name;
        // A link would hand over whatever it names (any file this user can read) and be
        // deleted in its place: left alone, said once.
        if (entry.isLink) {
            NoteLink(path);
            return true;
        }
        if (entry.isSpecial) {
            return true;
        }
        // Never listed, so never handed over, deleted or moved; reported once, unless it is
        // read-only, which is left alone silently.
        if (!IsJobSafePath(path, rules_)) {
            if (!platform::IsReadOnlyEntry(path)) {
                NoteUnsafePath(path);
            }
            return true;
        }
        // A file another program still holds is not ready yet. Asking costs an open and a
        // lease; the second snapshot alone decides, so the first one only looks.
        platform::UnsharedFile probe;
        platform::FileStamp stamp;
        bool readOnly = false;
        if (second ? !ProbeShared(entry, path, probe)
                   : !platform::GetEntryStamp(entry, path, stamp, &readOnly) || readOnly) {
            return true;
        }
        const platform::FileStamp& now = second ? probe.stamp : stamp;
        // A file that was judged but could not be deleted or moved is not taken again while it
        // stays as it was.
        if (!standby_.unsettled.empty()) {
            const auto left = standby_.unsettled.find(path);
            if (left != standby_.unsettled.end()) {
                if (left->second == now) {
                    return true;
                }
                standby_.unsettled.erase(left);
            }
        }
        const std::string field = SnapshotSizeField(now.size);
        if (field.empty()) {
            return true;
        }
        if (!second) {
            standby_.firstTimes.push_back(stamp.modified);
        } else {
            if (!probe.openersKnown) {
                standby_.uncheckedTimes.emplace(entry.name, probe.stamp.modified);
            }
            standby_.secondStamps.Add(path, probe.stamp);
        }
        line = field;
        line += entry.name;
        errno = 0;
        if (!WriteLineCrLf(file.get(), line)) {
            settings_.iIoResult = LastIoError();
        }
        host_.ListAdd(path);
        host_.PumpMessages();
        return settings_.iIoResult == 0;
    };
    platform::FindEntries(standby_.sStandbyDir + standby_.sPattern, listEntry,
                          platform::EntryDetail::Kind);

    host_.SetListBoxExtent();
    errno = 0;
    if (std::fclose(file.release()) != 0 && settings_.iIoResult == 0) {
        settings_.iIoResult = LastIoError();
    }
}

int RunModes::MatchSnapshots(std::vector<std::string>& stablePaths) {
    stablePaths.clear();
    int ioError = 0;
    const auto open = [&](const char* name, const char* mode) {
        int errorCode = 0;
        platform::FilePtr file =
            platform::OpenFile(JoinPath(settings_.sDataDir, name, rules_), mode, errorCode);
        ioError = file ? 0 : errorCode;
        ShowIoError(ioError);
        return file;
    };
    platform::FilePtr first = open(kFirstSnapshot, "rb");
    platform::FilePtr second = open(kSecondSnapshot, "rb");
    platform::FilePtr work = open(kWorkList, "wb");
    if (work) {
        platform::BufferForOneThread(work.get(), kFileBufferSize);
    }

    // A line holds the 10-character size field and the name, so "same name and same size
    // field" is "same line". The second snapshot is read once into a set instead of once per
    // line of the first: its lines end to end in one buffer, the set viewing into it.
    std::string secondText;
    std::vector<std::pair<std::size_t, std::size_t>> secondSpans;
    std::string line;
    if (second) {
        TextLineReader reader(second.get());
        while (reader.ReadLine(line)) {
            secondSpans.emplace_back(secondText.size(), line.size());
            secondText += line;
        }
        if (reader.Failed()) {
            ioError = EIO;
            ShowIoError(ioError);
        }
    }
    std::unordered_set<std::string_view> secondLines;
    secondLines.reserve(secondSpans.size());
    for (const auto& [at, size] : secondSpans) {
        secondLines.insert(std::string_view(secondText).substr(at, size));
    }

    // A file whose other openers could not be checked must also have kept its modification
    // time: a stalled writer can keep the size unchanged, rarely the time.
    // The first snapshot's times are kept by line: line n of its file is time n.
    const auto timeKept = [this](std::size_t firstLine, const std::string& name) {
        const auto b = standby_.uncheckedTimes.find(name);
        if (b == standby_.uncheckedTimes.end()) {
            return true;
        }
        return firstLine < standby_.firstTimes.size() &&
               standby_.firstTimes[firstLine] == b->second;
    };
    const bool checkTimes = !standby_.uncheckedTimes.empty();

    int stableCount = 0;
    if (first) {
        TextLineReader reader(first.get());
        for (std::size_t firstLine = 0; reader.ReadLine(line); ++firstLine) {
            if (line.size() <= kSizeFieldWidth || !secondLines.contains(line)) {
                continue;
            }
            if (checkTimes && !timeKept(firstLine, line.substr(kSizeFieldWidth))) {
                continue;
            }
            std::string path = standby_.sStandbyDir + line.substr(kSizeFieldWidth);
            ++stableCount;
            if (work) {
                errno = 0;
                if (!WriteLineCrLf(work.get(), path)) {
                    ioError = LastIoError();
                    ShowIoError(ioError);
                }
            }
            stablePaths.push_back(std::move(path));
        }
        if (reader.Failed()) {
            ioError = EIO;
            ShowIoError(ioError);
        }
    }
    if (work) {
        errno = 0;
        if (std::fclose(work.release()) != 0) {
            ioError = LastIoError();
            ShowIoError(ioError);
        }
    }
    return stableCount;
}

void RunModes::HandOverStableFiles(const std::vector<std::string>& stablePaths) {
    // No lock, no usable converter or no record file: no conversion and no deletion this
    // cycle; the files wait for the next one.
    RunPlan plan;
    plan.mode = "standby";
    plan.settlesInputs = true;
    plan.numberExistingOutputs = true;
    plan.display = settings_.iOutTyp == kOutTypDisplay;
    if (shared_) {
        // The spool beside the claims: whoever takes over this machine's claims can read it.
        plan.journalPath = shared_->JournalPath();
        plan.claimed = &shared_->Inputs();
    }
    ConversionRun run(Context(), plan);
    if (!run.Open()) {
        NoteExitCode(run.ExitCode());
        return;
    }
    run.UseStamps(&standby_.secondStamps);

    // Only a line that the matching wrote whole is taken: a work list cut short by a full disk
    // could otherwise name another file, which would then be deleted. The list was written in
    // the order of the paths, so a sound line is the next path; only after a line that is not
    // are the paths left looked up by name.
    std::size_t nextPath = 0;
    std::unordered_set<std::string_view> pathsLeft;
    bool lookUp = false;
    const auto written = [&](const std::string& line) {
        if (!lookUp && nextPath < stablePaths.size() && stablePaths[nextPath] == line) {
            ++nextPath;
            return true;
        }
        if (!lookUp) {
            lookUp = true;
            pathsLeft.insert(stablePaths.begin() + static_cast<std::ptrdiff_t>(nextPath),
                             stablePaths.end());
        }
        return pathsLeft.erase(line) > 0;
    };

    std::vector<std::string> listed;
    StampsByPath claimedStamps;
    int errorCode = 0;
    platform::FilePtr work =
        platform::OpenFile(JoinPath(settings_.sDataDir, kWorkList, rules_), "rb", errorCode);
    if (work) {
        TextLineReader reader(work.get());
        std::string path;
        std::string arguments;
        JobSpec spec;
        // Drawings whose output is there already go last. Most often a start that never ended
        // made it (the program was killed): a program killed again and again then loses fresh
        // work each time instead of converting the same drawings over and over.
        std::vector<std::string> later;
        bool more = true;
        while (more && reader.ReadLine(path)) {
            ++standby_.iStandbyCount;
            if (!written(path)) {
                continue;
            }
            if (shared_) {
                listed.push_back(path);
                continue;
            }
            GetJob(path, spec, arguments);
            if (run.OutputThere(spec.output)) {
                later.push_back(path);
                continue;
            }
            more = run.Add(spec, arguments, -1);
        }
        for (std::size_t i = 0; more && i < later.size(); ++i) {
            GetJob(later[i], spec, arguments);
            more = run.Add(spec, arguments, -1);
        }
    }
    work.reset();
    if (shared_) {
        ClaimAndAdd(run, listed, claimedStamps);
    }
    ShowProgressNow("Converting");
    run.Finish();
    ShowProgressNow("Cycle ended");
    host_.SetStatusText("Waiting !");
    TakeOutcome(run);
    NoteUnsettled(run);
}

void RunModes::ClaimAndAdd(ConversionRun& run, const std::vector<std::string>& listed,
                           StampsByPath& claimedStamps) {
    ShowProgressNow("Claiming");
    std::vector<std::string> claimed;
    shared_->ClaimShare(Context(), listed, standby_.secondStamps, claimed, claimedStamps,
                        [this] { host_.PumpMessages(); });
    run.UseStamps(&claimedStamps);
    JobSpec spec;
    std::string arguments;
    for (std::size_t i = 0; i < claimed.size(); ++i) {
        GetJob(claimed[i], spec, arguments);
        if (!run.Add(spec, arguments, -1)) {
            // Claimed but never handed over: back for any machine to take.
            shared_->Release({claimed.begin() + static_cast<std::ptrdiff_t>(i), claimed.end()});
            return;
        }
    }
}

bool RunModes::JoinSharedHotFolder() {
    shared_.reset();
    if (!settings_.run.sharedHotFolder) {
        return true;
    }
    if (standby_.compare) {
        // A pair is two files in two folders, often on two volumes: no single rename can claim
        // it, and a machine that died between two renames would leave half a pair claimed.
        sink_.ShowMsg(
            "Standby with comparison cannot share its folders with other machines: turn off "
            "\"Shared hot folder\" or \"Compare\".");
        NoteExitCode(2);
        return false;
    }
    shared_ = std::make_unique<SharedHotFolder>(
        standby_.sStandbyDir, ClaimIdentity(platform::HostName(), settings_.sDataDir),
        settings_.iAutoWaitTime, rules_);
    if (!shared_->Join(Context())) {
        shared_.reset();
        NoteExitCode(2);
        return false;
    }
    return true;
}

void RunModes::NoteUnsettled(const ConversionRun& run) {
    if (run.Unsettled().empty()) {
        return;
    }
    RefusedItems items;
    for (const UnsettledInput& input : run.Unsettled()) {
        standby_.unsettled[input.path] = input.stamp;
        items.Add(input.path);
    }
    sink_.ShowMsg(items.Message(
        "converted file could not be deleted or moved to Failed",
        "converted files could not be deleted or moved to Failed",
        "they stay where they are and are not converted again while they are unchanged."));
}

void RunModes::SetStandbyPhase(StandbyPhase phase) {
    standby_.phase = phase;
    flags_.bInStandby = phase != StandbyPhase::Idle;
    if (phase == StandbyPhase::Idle) {
        if (shared_) {
            shared_->Leave(Context());
            shared_.reset();
        }
        standbyLock_.Unlock();
    }
    host_.StandbyChanged(phase);
}

void RunModes::ButtonAutoOutputClick(const RunChoices& choices) {
    if (standby_.phase != StandbyPhase::Idle) {
        return;
    }
    BeginRun(choices);
    // Two standby outputs on one data folder would share its snapshot and record files.
    if (!LockStandby()) {
        host_.Set_Button_Enable(true);
        return;
    }
    standby_.compare = choices_.compareChecked && choices_.output1Shown;
    // The log of a standby comparison covers every start of standby in this program run.
    if (standby_.compare && standby_.iStandbyCount < 0) {
        LogFileClear();
    }
    const std::string& inputSpec =
        standby_.compare ? settings_.sChgAreaDir1 : settings_.sAutoOutDirFName;
    standby_.sPattern = StandbyPattern(inputSpec, choices_.output1Shown, rules_);
    standby_.sStandbyDir = FolderPart(inputSpec, rules_);
    if (!OutputFolderUsable() || TakesItsOwnOutputs() || !JoinSharedHotFolder()) {
        standbyLock_.Unlock();
        host_.Set_Button_Enable(true);
        return;
    }
    standby_.outputFolderGoneSaid = false;
    host_.Set_Button_Enable(false);
    StartWaitingPeriod();
}

bool RunModes::TakesItsOwnOutputs() {
    JobSpec spec;
    std::string arguments;
    GetJob(standby_.sStandbyDir + "x", spec, arguments);
    if (spec.output.empty()) {
        return false;
    }
    RunOutputs names(0, rules_);
    const std::string outputName = NamePart(spec.output, rules_);
    if (names.Key(FolderPart(spec.output, rules_) + "x") != names.Key(standby_.sStandbyDir + "x") ||
        !platform::WildcardMatches(standby_.sPattern, outputName)) {
        return false;
    }
    sink_.ShowMsg(PathMessage(settings_.sOutDir,
                              "The output folder is the input folder and its wildcard " +
                                  standby_.sPattern + " takes the outputs (" + outputName +
                                  ") too: standby would convert its own outputs again. Choose "
                                  "another output folder or wildcard."));
    NoteExitCode(2);
    return true;
}

void RunModes::StandbyTick() {
    if (standby_.phase != StandbyPhase::Waiting) {
        return;
    }
    if (shared_) {
        shared_->Beat();
    }
    if (standby_.iWaitCountdown > 0) {
        standby_.iWaitCountdown -= kSecondsPerTick;
        ShowWaitTime();
        return;
    }
    try {
        RunStandbyCycle();
    } catch (...) {
        // A cycle that failed half-way must not leave standby stuck with its timer off.
        SetStandbyPhase(StandbyPhase::Idle);
        host_.Set_Button_Enable(true);
        throw;
    }
    if (standby_.phase == StandbyPhase::Stopping || flags_.bEndRequested || stopRequested_) {
        // A stop, or "End", came during the cycle: no new waiting period.
        SetStandbyPhase(StandbyPhase::Idle);
        host_.Set_Button_Enable(true);
        return;
    }
    StartWaitingPeriod();
}

void RunModes::StopStandby() {
    if (standby_.phase == StandbyPhase::Waiting) {
        SetStandbyPhase(StandbyPhase::Idle);
        host_.SetStatusText("Waiting !");
        host_.Set_Button_Enable(true);
    } else if (standby_.phase == StandbyPhase::Cycle) {
        SetStandbyPhase(StandbyPhase::Stopping);
    }
}

void RunModes::RunStandbyCycle() {
    // The timer is off for the whole cycle, so no tick enters while it pumps messages or waits
    // for the converter; the next waiting period starts after it.
    SetStandbyPhase(StandbyPhase::Cycle);
    StartClock();
    if (shared_) {
        // Before listing: claims of machines that died are back in the folder to be listed.
        ShowProgressNow("Looking at the other machines");
        shared_->Survey(Context());
    }
    ShowProgressNow("Listing files");
    host_.SetBusyCursor(0);
    WriteFileList(JoinPath(settings_.sDataDir, kSecondSnapshot, rules_), true);
    ShowSnapshotError();

    std::vector<std::string> stablePaths;
    if (MatchSnapshots(stablePaths) > 0 && OutputFolderStillThere()) {
        settings_.iIoResult = 0;
        host_.SetStatusText("Outputting !");
        host_.PumpMessages();
        if (standby_.compare) {
            // The comparison makes its own list; the snapshots only tell that files came.
            ++standby_.iStandbyCount;
            CompareFolders(&stablePaths);
        } else {
            HandOverStableFiles(stablePaths);
        }
    }
    host_.SetBusyCursor(2);
}

bool RunModes::OutputFolderStillThere() {
    // A network drive that dropped: nothing is converted or moved until it is back.
    if (!JobsWriteOutputs() || platform::DirectoryExists(settings_.sOutDir)) {
        standby_.outputFolderGoneSaid = false;
        return true;
    }
    if (!standby_.outputFolderGoneSaid) {
        standby_.outputFolderGoneSaid = true;
        sink_.ShowMsg(PathMessage(settings_.sOutDir,
                                  "The output folder is gone: nothing is converted until it is "
                                  "back; standby tries again every cycle."));
    }
    return false;
}

void RunModes::StartWaitingPeriod() {
    standby_.iWaitCountdown = settings_.iAutoWaitTime;
    ShowWaitTime();
    // A file that went and comes back is reported again.
    std::erase_if(standby_.unsafeReported,
                  [](const std::string& path) { return !platform::PathExists(path); });
    WriteFileList(JoinPath(settings_.sDataDir, kFirstSnapshot, rules_), false);
    ShowSnapshotError();
    ReportUnsafePaths();
    standby_.iStandbyCount = 0;
    SetStandbyPhase(StandbyPhase::Waiting);
}

}  // namespace ka
