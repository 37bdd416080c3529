#include "app/ResultActions.h"

#include <cerrno>
#include <ctime>
#include <utility>

#include "app/RunResults.h"
#include "platform/platform.h"
#include "settings/TextFile.h"

namespace ka {

namespace {

// Beyond this many numbered names something is wrong with the folder, not just crowded.
constexpr int kMaxNumbered = 10000;

// Moves `from` into `folder` under `name`, or the first numbered name free there.
int MoveToFreeName(const std::string& from, const std::string& folder, const std::string& name,
                   std::string& to, const PathRules& rules) {
    int error = 0;
    for (int n = 1; n <= kMaxNumbered; ++n) {
        to = JoinPath(folder, n == 1 ? name : NumberedName(name, n), rules);
        if (platform::PathExists(to)) {
            continue;
        }
        error = platform::RenameNoReplace(from, to);
        // A name taken meanwhile is passed over like one taken before.
        if (error == 0 || !platform::PathExists(to)) {
            return error;
        }
    }
    return error != 0 ? error : EEXIST;
}

}  // namespace

int WriteRetryList(const std::string& dataDir, const std::vector<std::string>& lines,
                   std::string& path, const PathRules& rules) {
    path.clear();
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    if (const std::tm* local = std::localtime(&now)) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", local);
    }
    const std::string name = std::string("Retry-") + stamp + ".txt";
    const std::string temporary = JoinPath(dataDir, name + ".katmp", rules);
    int error = 0;
    platform::FilePtr file = platform::OpenFile(temporary, "wb", error);
    if (!file) {
        return error;
    }
    errno = 0;
    bool written = true;
    for (const std::string& line : lines) {
        written = WriteLineCrLf(file.get(), line) && written;
    }
    written = CloseWritten(std::move(file)) && written;
    error = written ? MoveToFreeName(temporary, dataDir, name, path, rules)
                    : (errno != 0 ? errno : EIO);
    if (error != 0) {
        platform::DeleteFileAt(temporary);
        path.clear();
    }
    return error;
}

MoveBackResult MoveBackFromFailed(const std::string& input, const PathRules& rules) {
    MoveBackResult result;
    const std::string folder = FolderPart(input, rules);
    const std::string name = NamePart(input, rules);
    result.from = JoinPath(JoinPath(folder, kFailedFolderName, rules), name, rules);
    if (!platform::PathExists(result.from)) {
        result.outcome = MoveBackOutcome::NotInFailed;
        return result;
    }
    if (!platform::IsPlainFile(result.from)) {
        result.outcome = MoveBackOutcome::NotAFile;
        return result;
    }
    result.error = MoveToFreeName(result.from, folder, name, result.to, rules);
    result.outcome = result.error == 0 ? MoveBackOutcome::Moved : MoveBackOutcome::Failed;
    if (result.error != 0) {
        result.to.clear();
    }
    return result;
}

}  // namespace ka
