// Several machines on one hot folder, with no server but the file server. A machine claims each
// file it converts by renaming it, never replacing anything, into a claim folder of its own
// inside the hot folder:
//
//   <hot folder>/Claimed/<host>-<id>/heartbeat         rewritten every tick and while converting
//   <hot folder>/Claimed/<host>-<id>/Korvanejobs.txt   the job spool of its current cycle
//   <hot folder>/Claimed/<host>-<id>/Files/            the drawings it has claimed
//
// Of several machines renaming one file exactly one succeeds; the others find it gone and pass
// over it. A claim folder whose heartbeat has stopped for the lease belongs to a machine that
// died: the first machine to rename the folder itself finishes what its spool proves done and
// puts the rest back into the hot folder.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/ConversionRun.h"
#include "app/RunJournal.h"
#include "app/RunResults.h"
#include "shell/Paths.h"

namespace ka {

inline constexpr const char* kClaimedFolderName = "Claimed";

// "<host>-<8 hex digits>": the digits are a hash of the data folder's path, so two copies on one
// machine differ and a copy restarted on the same data folder is the same machine again. Only
// letters, digits, '.', '-' and '_' are kept from the host name.
std::string ClaimIdentity(const std::string& host, const std::string& dataDir);

// Inputs claimed out of a hot folder into a claim folder's Files.
struct ClaimedInputs {
    std::string hotFolder;    // ends with the separator
    std::string filesFolder;  // where the claimed files are now
    PathRules rules = PathRules::Native();

    // A claimed input by its name in filesFolder: a claim folder taken over from a dead machine
    // has another name than the one its spool was written with.
    std::string Here(const std::string& path) const;
    // The input by the name it had in the hot folder, as the user knows it.
    std::string Shown(const std::string& path) const;
};

// Settles a job's claimed inputs; none stays in the claim folder. Done: deleted. No output or
// doubtful: moved into the hot folder's Failed. Anything else, and a done or failed job whose
// file changed since it was handed over (size or time): back into the hot folder, where any
// machine can take it. Inputs that cannot be moved are noted in unsettled.
InputFate SettleClaimedInputs(const JournalJob& job, const JobVerdict& verdict,
                              const ClaimedInputs& claimed, std::vector<UnsettledInput>& unsettled);

// Moves a file into the folder under its own name, or the first numbered one free there when a
// new file of that name has come meanwhile; never replaces. A name there that is this very file
// (a claim by link and unlink cut short) just loses the extra name. 0 when the file is back or
// was gone already, else the error.
int ReturnToFolder(const std::string& path, const std::string& folder, const PathRules& rules);

// How one claim by rename ended.
enum class ClaimOutcome {
    Taken,
    Gone,    // another machine has it (or a name this machine holds already): passed over
    Failed,  // anything else (no rights, the claim folder missing): said once per cycle
};
ClaimOutcome ClaimFile(const std::string& path, const std::string& filesFolder,
                       std::string& claimedPath, int& error,
                       const PathRules& rules = PathRules::Native());

// One machine's part in a shared hot folder, for the life of one standby output.
class SharedHotFolder {
  public:
    // waitSeconds: the standby waiting time; the lease is three of them, at least 30 s.
    SharedHotFolder(std::string hotFolder, std::string identity, std::int32_t waitSeconds,
                    PathRules rules = PathRules::Native());
    SharedHotFolder(const SharedHotFolder&) = delete;
    SharedHotFolder& operator=(const SharedHotFolder&) = delete;

    // Takes back what this identity left claimed before (a restart), then makes the claim
    // folder and writes the first heartbeat. False when the claim folder cannot be made; said.
    bool Join(const RunContext& ctx);
    // Rewrites the heartbeat when the last one is a tick old, or at once with force. A claim
    // folder taken away meanwhile (this machine was thought dead) is made again.
    void Beat(bool force = false);
    // Before a cycle claims: a fresh heartbeat, every claim folder whose heartbeat stopped for
    // the lease taken back into play, and the machines alive counted.
    void Survey(const RunContext& ctx);
    // Claims this machine's share of the cycle's stable files: so many that its load matches
    // the others', the stable files and those the other machines hold divided by the machines
    // alive (this one counted), rounded up. Each machine
    // starts at its own place in the list, so they seldom race for a file. A file changed since
    // the stable check saw it (seen) goes back at once. between runs after every claim.
    void ClaimShare(const RunContext& ctx, const std::vector<std::string>& stable,
                    const StampsByPath& seen, std::vector<std::string>& claimed,
                    StampsByPath& claimedStamps, const std::function<void()>& between);
    // Puts claimed files back into the hot folder (a cycle that cannot hand them over).
    void Release(const std::vector<std::string>& claimedPaths);
    // Standby ends: the claim folder goes (heartbeat, spool and the empty folders), so no
    // machine counts this one as alive any more. An unfinished spool is finished first.
    void Leave(const RunContext& ctx);

    const ClaimedInputs& Inputs() const { return inputs_; }
    std::string JournalPath() const;
    const std::string& ClaimFolder() const { return claimFolder_; }
    // Alive machines at the last survey, this one counted.
    int Alive() const { return alive_; }
    std::int64_t LeaseNs() const { return leaseNs_; }

  private:
    bool MakeFolders();
    bool WriteHeartbeat(const std::string& folder);
    // Takes over one claim folder (of a dead machine, or this identity's own from before):
    // renames it to a name of this machine's, finishes its spool, returns its files.
    void Recover(const RunContext& ctx, const std::string& name, const char* why);

    std::string hotFolder_;
    std::string identity_;
    PathRules rules_;
    std::string claimedRoot_;  // <hot folder>/Claimed
    std::string claimFolder_;  // <hot folder>/Claimed/<identity>
    ClaimedInputs inputs_;
    std::int64_t leaseNs_;
    std::chrono::steady_clock::time_point lastBeat_{};
    bool beaten_ = false;
    std::int64_t serverNow_ = 0;  // the file server's time at the last heartbeat
    int alive_ = 1;
    std::size_t othersClaimed_ = 0;  // files in the other alive machines' claim folders
    int place_ = 0;                  // this machine's place among the alive ones, by name
    // Claim folders seen without a heartbeat, and since when by this machine's clock.
    std::map<std::string, std::chrono::steady_clock::time_point> withoutHeartbeat_;
};

}  // namespace ka
