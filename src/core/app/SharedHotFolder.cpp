#include "app/SharedHotFolder.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/platform.h"
#include "settings/Orrin1.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

const char* const kFilesFolderName = "Files";
const char* const kHeartbeatName = "heartbeat";
const char* const kJournalName = "Korvanejobs.txt";
const char* const kHeartbeatTemp = ".tmp";
// Separates a claim folder's original name from the machine that took it over.
constexpr char kTakenOver = '~';
constexpr auto kBeatEvery = std::chrono::seconds(1);
constexpr std::int64_t kMinLeaseSeconds = 30;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Beyond this many numbered names something is wrong with the folder, not just crowded.
constexpr int kMaxNumbered = 10000;
constexpr int kMaxTakeOverNames = 100;

bool SameContent(const platform::FileStamp& a, const platform::FileStamp& b) {
    // Identity numbers are not compared: a machine that takes over a dead one's claims sees the
    // share through another mount, with other device numbers. Nobody writes into a claim folder.
    return a.size == b.size && a.modified == b.modified;
}

// The plain files of a folder, by name.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    platform::FindEntries(
        JoinPath(folder, "*"),
        [&](const platform::DirEntry& entry) {
            if (!entry.isDirectory && entry.name != "." && entry.name != "..") {
                names.push_back(entry.name);
            }
            return true;
        },
        platform::EntryDetail::Kind);
    return names;
}

}  // namespace

std::string ClaimIdentity(const std::string& host, const std::string& dataDir) {
    std::string name;
    for (const char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    if (name.empty()) {
        name = "machine";
    }
    std::uint32_t hash = 2166136261U;  // FNV-1a
    for (const char c : dataDir) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619U;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(hash));
    return name + "-" + digits;
}

std::string ClaimedInputs::Here(const std::string& path) const {
    return JoinPath(filesFolder, NamePart(path, rules), rules);
}

std::string ClaimedInputs::Shown(const std::string& path) const {
    return hotFolder + NamePart(path, rules);
}

int ReturnToFolder(const std::string& path, const std::string& folder, const PathRules& rules) {
    platform::FileStamp mine;
    if (!platform::GetFileStamp(path, mine)) {
        return 0;
    }
    const std::string name = NamePart(path, rules);
    int error = 0;
    for (int n = 1; n <= kMaxNumbered; ++n) {
        const std::string target = n == 1 ? name : NumberedName(name, n);
        error = platform::MoveIntoFolderNoFollow(path, folder, target);
        if (error == 0 || platform::IsNotFoundError(error)) {
            return 0;
        }
        if (!platform::IsAlreadyExistsError(error)) {
            return error;
        }
        platform::FileStamp there;
        if (platform::GetFileStamp(JoinPath(folder, target, rules), there) && there == mine) {
            return platform::DeleteFileAt(path);
        }
    }
    return error;
}

InputFate SettleClaimedInputs(const JournalJob& job, const JobVerdict& verdict,
                              const ClaimedInputs& claimed,
                              std::vector<UnsettledInput>& unsettled) {
    const bool done = JobDone(verdict.result);
    const bool failed =
        verdict.result == JobResult::NoOutput || verdict.result == JobResult::Doubtful;
    bool unchanged = true;
    for (std::size_t i = 0; i < job.job.inputs.size(); ++i) {
        platform::FileStamp now;
        if (job.inputKnown[i] && (!platform::GetFileStamp(claimed.Here(job.job.inputs[i]), now) ||
                                  !SameContent(now, job.inputStamps[i]))) {
            unchanged = false;
        }
    }
    InputFate fate = InputFate::Returned;
    if (unchanged && !job.keepInputs && done) {
        fate = InputFate::Deleted;
    } else if (unchanged && !job.keepInputs && failed) {
        fate = InputFate::MovedToFailed;
    }
    InputFate result = fate;
    for (std::size_t i = 0; i < job.job.inputs.size(); ++i) {
        if (!job.inputKnown[i]) {
            continue;
        }
        const std::string path = claimed.Here(job.job.inputs[i]);
        int error = 0;
        switch (fate) {
            case InputFate::Deleted:
                error = platform::DeleteFileAt(path);
                break;
            case InputFate::MovedToFailed:
                error = MoveToFailedFolderOf(path, claimed.hotFolder, claimed.rules);
                break;
            default:
                error = ReturnToFolder(path, claimed.hotFolder, claimed.rules);
                break;
        }
        if (error != 0) {
            unsettled.push_back({path, job.inputStamps[i], error});
            result = InputFate::Kept;
        }
    }
    return result;
}

ClaimOutcome ClaimFile(const std::string& path, const std::string& filesFolder,
                       std::string& claimedPath, int& error, const PathRules& rules) {
    const std::string name = NamePart(path, rules);
    error = platform::MoveIntoFolderNoFollow(path, filesFolder, name);
    if (error == 0) {
        claimedPath = JoinPath(filesFolder, name, rules);
        return ClaimOutcome::Taken;
    }
    if (platform::IsNotFoundError(error) || platform::IsAlreadyExistsError(error)) {
        return ClaimOutcome::Gone;
    }
    return ClaimOutcome::Failed;
}

SharedHotFolder::SharedHotFolder(std::string hotFolder, std::string identity,
                                 std::int32_t waitSeconds, PathRules rules)
    : hotFolder_(std::move(hotFolder)),
      identity_(std::move(identity)),
      rules_(rules),
      claimedRoot_(JoinPath(hotFolder_, kClaimedFolderName, rules_)),
      claimFolder_(JoinPath(claimedRoot_, identity_, rules_)),
      inputs_{hotFolder_, JoinPath(claimFolder_, kFilesFolderName, rules_), rules_},
      leaseNs_(
          std::max<std::int64_t>(3 * static_cast<std::int64_t>(waitSeconds), kMinLeaseSeconds) *
          kNsPerSecond) {}

std::string SharedHotFolder::JournalPath() const {
    return JoinPath(claimFolder_, kJournalName, rules_);
}

bool SharedHotFolder::MakeFolders() {
    const auto make = [this] {
        // Never through a link: a "Claimed" that points elsewhere would carry the drawings there.
        for (const std::string* folder : {&claimedRoot_, &claimFolder_, &inputs_.filesFolder}) {
            if (!platform::IsRealDirectory(*folder)) {
                platform::CreateDirectoryOne(*folder);
                if (!platform::IsRealDirectory(*folder)) {
                    return false;
                }
            }
        }
        return true;
    };
    // A second try: the last machine to leave may remove an empty "Claimed" between two steps.
    return make() || make();
}

bool SharedHotFolder::WriteHeartbeat(const std::string& folder) {
    // The text is for the administrator who finds the folder; the machines read only its time.
    return WriteLinesReplacing(JoinPath(folder, kHeartbeatName, rules_),
                               {std::string("KorvaneAuto ") + kVersionText + " heartbeat",
                                "machine=" + identity_, "written=" + ReportTimeNow()},
                               kHeartbeatTemp) == 0;
}

bool SharedHotFolder::Join(const RunContext& ctx) {
    if (!platform::IsRealDirectory(claimedRoot_)) {
        platform::CreateDirectoryOne(claimedRoot_);
    }
    if (platform::IsRealDirectory(claimFolder_)) {
        Recover(ctx, identity_, "it held before this start");
    }
    if (!MakeFolders()) {
        ctx.sink.ShowMsg(PathMessage(claimFolder_,
                                     "The claim folder cannot be made in the shared hot folder: "
                                     "standby does not start."));
        return false;
    }
    Beat(true);
    return true;
}

void SharedHotFolder::Beat(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && beaten_ && now - lastBeat_ < kBeatEvery) {
        return;
    }
    lastBeat_ = now;
    beaten_ = true;
    // A folder taken away while this machine was thought dead is made again.
    if (!WriteHeartbeat(claimFolder_) && (!MakeFolders() || !WriteHeartbeat(claimFolder_))) {
        serverNow_ = 0;
        return;
    }
    platform::FileStamp stamp;
    serverNow_ = platform::GetFileStamp(JoinPath(claimFolder_, kHeartbeatName, rules_), stamp)
                     ? stamp.modified
                     : 0;
}

void SharedHotFolder::Survey(const RunContext& ctx) {
    Beat(true);
    std::vector<std::string> names;
    platform::FindEntries(
        JoinPath(claimedRoot_, "*"),
        [&](const platform::DirEntry& entry) {
            if (entry.isDirectory && entry.name != "." && entry.name != ".." &&
                entry.name != identity_) {
                names.push_back(entry.name);
            }
            return true;
        },
        platform::EntryDetail::Kind);

    const auto now = std::chrono::steady_clock::now();
    const auto lease = std::chrono::nanoseconds(leaseNs_);
    std::map<std::string, std::chrono::steady_clock::time_point> stillWithout;
    std::vector<std::string> alive{identity_};
    othersClaimed_ = 0;
    for (const std::string& name : names) {
        const std::string folder = JoinPath(claimedRoot_, name, rules_);
        platform::FileStamp beat;
        bool stale = false;
        if (platform::GetFileStamp(JoinPath(folder, kHeartbeatName, rules_), beat)) {
            // Both times are the file server's: the clocks of the machines never meet.
            stale = serverNow_ != 0 && serverNow_ - beat.modified > leaseNs_;
        } else {
            // A machine that died before its first heartbeat: timed by this machine's clock.
            const auto seen = withoutHeartbeat_.find(name);
            const auto since = seen == withoutHeartbeat_.end() ? now : seen->second;
            stillWithout.emplace(name, since);
            stale = now - since > lease;
        }
        if (stale) {
            stillWithout.erase(name);
            Recover(ctx, name, "its heartbeat stopped");
            continue;
        }
        // A folder being taken over is no machine of its own.
        if (name.find(kTakenOver) != std::string::npos) {
            continue;
        }
        alive.push_back(name);
        othersClaimed_ += FilesIn(JoinPath(folder, kFilesFolderName, rules_)).size();
    }
    withoutHeartbeat_ = std::move(stillWithout);
    std::sort(alive.begin(), alive.end());
    alive_ = static_cast<int>(alive.size());
    place_ = static_cast<int>(std::find(alive.begin(), alive.end(), identity_) - alive.begin());
}

void SharedHotFolder::Recover(const RunContext& ctx, const std::string& name, const char* why) {
    const std::string from = JoinPath(claimedRoot_, name, rules_);
    const std::string base = name.substr(0, name.find(kTakenOver));
    std::string folder;
    for (int n = 1; n <= kMaxTakeOverNames && folder.empty(); ++n) {
        std::string target = base + kTakenOver + identity_;
        if (n > 1) {
            target += "-" + std::to_string(n);
        }
        const std::string to = JoinPath(claimedRoot_, target, rules_);
        if (platform::PathExists(to)) {
            continue;
        }
        // The folder itself is claimed by rename first: of two machines only one gets it.
        int error = platform::RenameNoReplace(from, to);
        if (error != 0 && !platform::IsNotFoundError(error) &&
            !platform::IsAlreadyExistsError(error) && !platform::PathExists(to)) {
            // A file system without a no-replace rename for folders: the new name is this
            // machine's own, so a plain rename replaces nobody's folder.
            error = platform::ReplaceFileWith(from, to);
        }
        if (error == 0) {
            folder = to;
        } else if (!platform::IsAlreadyExistsError(error)) {
            return;  // gone: another machine has taken it over
        }
    }
    if (folder.empty()) {
        return;
    }
    // Alive while this machine works on it, so no third one takes it from under it.
    WriteHeartbeat(folder);

    const ClaimedInputs inputs{hotFolder_, JoinPath(folder, kFilesFolderName, rules_), rules_};
    const std::string journal = JoinPath(folder, kJournalName, rules_);
    std::string summary;
    const bool finished = ConversionRun::RecoverInterrupted(journal, ctx, &summary, &inputs);
    std::size_t returned = 0;
    RefusedItems stuck;
    for (const std::string& file : FilesIn(inputs.filesFolder)) {
        const std::string path = JoinPath(inputs.filesFolder, file, rules_);
        if (ReturnToFolder(path, hotFolder_, rules_) == 0) {
            ++returned;
        } else {
            stuck.Add(path);
        }
    }
    const std::string heartbeat = JoinPath(folder, kHeartbeatName, rules_);
    for (const std::string& file : {journal, heartbeat, heartbeat + kHeartbeatTemp}) {
        platform::DeleteFileAt(file);
    }
    platform::RemoveEmptyFolder(inputs.filesFolder);
    platform::RemoveEmptyFolder(folder);

    if (name == identity_ && !finished && returned == 0 && stuck.Count() == 0) {
        return;  // a clean folder of this machine's own: nothing to say
    }
    std::string text = "Claims of " + name + " in the shared hot folder taken back (" + why + ")";
    if (finished) {
        text += "; the run it had begun finished from its spool (" + summary +
                "): done drawings deleted, failed ones in Failed, the rest back in the hot folder";
    }
    if (returned > 0 || !finished) {
        text += "; " + std::to_string(returned) + (returned == 1 ? " drawing" : " drawings") +
                " put back into " + hotFolder_;
    }
    text += ".";
    ctx.sink.ShowMsg(text);
    if (stuck.Count() > 0) {
        ctx.sink.ShowMsg(stuck.Message("claimed file could not be put back",
                                       "claimed files could not be put back",
                                       "they stay in " + folder + "."));
    }
}

void SharedHotFolder::ClaimShare(const RunContext& ctx, const std::vector<std::string>& stable,
                                 const StampsByPath& seen, std::vector<std::string>& claimed,
                                 StampsByPath& claimedStamps,
                                 const std::function<void()>& between) {
    claimed.clear();
    claimedStamps.Clear();
    const std::size_t count = stable.size();
    if (count == 0) {
        return;
    }
    const auto machines = static_cast<std::size_t>(std::max(1, alive_));
    // Even loads: the files left and those the others hold, divided by the machines. Dividing
    // only the files left would leave a tail that shrinks by a machine's share a cycle while
    // the others convert.
    const std::size_t share = std::min(count, (count + othersClaimed_ + machines - 1) / machines);
    // Machines that claim at the same time start apart.
    const std::size_t start =
        (static_cast<std::size_t>(place_) * ((count + machines - 1) / machines)) % count;
    RefusedItems refused;
    int firstError = 0;
    bool foldersMade = false;
    for (std::size_t k = 0; k < count && claimed.size() < share; ++k) {
        const std::string& path = stable[(start + k) % count];
        std::string here;
        int error = 0;
        ClaimOutcome outcome = ClaimFile(path, inputs_.filesFolder, here, error, rules_);
        if (outcome == ClaimOutcome::Failed && !foldersMade) {
            // The claim folder taken away meanwhile: made again, once a cycle.
            foldersMade = true;
            if (MakeFolders()) {
                outcome = ClaimFile(path, inputs_.filesFolder, here, error, rules_);
            }
        }
        if (outcome == ClaimOutcome::Failed) {
            firstError = firstError != 0 ? firstError : error;
            refused.Add(path);
        } else if (outcome == ClaimOutcome::Taken) {
            platform::FileStamp now;
            const platform::FileStamp* before = seen.Find(path);
            if (before && platform::GetFileStamp(here, now) && SameContent(now, *before)) {
                claimedStamps.Add(here, now);
                claimed.push_back(std::move(here));
            } else {
                // Written to again after the stable check: not complete after all.
                ReturnToFolder(here, hotFolder_, rules_);
            }
        }
        if (between) {
            between();
        }
    }
    if (refused.Count() > 0) {
        ctx.sink.ShowMsg(refused.Message(
            "file could not be claimed", "files could not be claimed",
            "they stay in the hot folder (error " + std::to_string(firstError) + ")."));
    }
}

void SharedHotFolder::Release(const std::vector<std::string>& claimedPaths) {
    for (const std::string& path : claimedPaths) {
        ReturnToFolder(path, hotFolder_, rules_);
    }
}

void SharedHotFolder::Leave(const RunContext& ctx) {
    // A cycle cut short by an error leaves its spool unfinished: what it proved done is not
    // converted again by whoever takes the files.
    ConversionRun::RecoverInterrupted(JournalPath(), ctx, nullptr, &inputs_);
    for (const std::string& file : FilesIn(inputs_.filesFolder)) {
        ReturnToFolder(JoinPath(inputs_.filesFolder, file, rules_), hotFolder_, rules_);
    }
    const std::string heartbeat = JoinPath(claimFolder_, kHeartbeatName, rules_);
    for (const std::string& file : {JournalPath(), heartbeat, heartbeat + kHeartbeatTemp}) {
        platform::DeleteFileAt(file);
    }
    platform::RemoveEmptyFolder(inputs_.filesFolder);
    platform::RemoveEmptyFolder(claimFolder_);
    // Only when no other machine has a folder in it.
    platform::RemoveEmptyFolder(claimedRoot_);
}

}  // namespace ka
