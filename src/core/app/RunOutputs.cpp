#include "app/RunOutputs.h"

#include <string>

#include "platform/platform.h"

namespace ka {

namespace {

// Looks at each missing output on its own up to this many per folder, then lists the folder.
constexpr int kLooksBeforeListing = 64;
// Some file systems keep times in two-second steps.
constexpr std::int64_t kCoarseFileTimeNs = 2'000'000'000;

// ASCII letters folded, the second byte of a double-byte character left as it is.
std::string FoldCase(std::string_view text, const PathRules& rules) {
    std::string folded(text);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (rules.style == PathStyle::Windows && platform::IsLeadByte(rules.codePage, c)) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            folded[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

// Whether the folder's file system takes "A" and "a" for one name: a file made under a lower-case
// name is looked for under the upper-case one. A folder that cannot be written tells nothing.
bool FolderIgnoresCase(const std::string& folder) {
    const std::string lower =
        "korvaneauto-case-" + std::to_string(platform::NowForFileTimes() % 1'000'000'007) + ".tmp";
    std::string upper = lower;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    int error = 0;
    if (!platform::OpenFile(folder + lower, "wb", error)) {
        return false;
    }
    const bool same = platform::PathExists(folder + upper);
    platform::DeleteFileAt(folder + lower);
    return same;
}

}  // namespace

std::uint64_t KeySet::Hash(std::string_view key) {
    std::uint64_t h = 14695981039346656037ULL;
    for (const char c : key) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    h ^= h >> 31;
    return h == 0 ? 1 : h;
}

void KeySet::Grow() {
    std::vector<std::uint64_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint64_t h : old) {
        if (h != 0) {
            std::size_t i = h & mask;
            while (slots_[i] != 0) {
                i = (i + 1) & mask;
            }
            slots_[i] = h;
        }
    }
}

bool KeySet::Insert(std::string_view key) {
    if ((size_ + 1) * 2 > slots_.size()) {
        Grow();
    }
    const std::uint64_t h = Hash(key);
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = h & mask;
    while (slots_[i] != 0) {
        if (slots_[i] == h) {
            return false;
        }
        i = (i + 1) & mask;
    }
    slots_[i] = h;
    ++size_;
    return true;
}

bool KeySet::Contains(std::string_view key) const {
    if (slots_.empty()) {
        return false;
    }
    const std::uint64_t h = Hash(key);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask; slots_[i] != 0; i = (i + 1) & mask) {
        if (slots_[i] == h) {
            return true;
        }
    }
    return false;
}

RunOutputs::RunOutputs(std::int64_t since, const PathRules& rules) : since_(since), rules_(rules) {}

RunOutputs::Folder& RunOutputs::FolderOf(std::string_view path, std::string& folderPath) {
    folderPath = FolderPart(path, rules_);
    auto found = folders_.find(folderPath);
    if (found == folders_.end()) {
        Folder folder;
        folder.ignoresCase = rules_.style == PathStyle::Windows ||
                             (!folderPath.empty() && FolderIgnoresCase(folderPath));
        found = folders_.emplace(folderPath, std::move(folder)).first;
    }
    return found->second;
}

std::string RunOutputs::Key(std::string_view path) {
    std::string folderPath;
    const Folder& folder = FolderOf(path, folderPath);
    if (!folder.ignoresCase) {
        return std::string(path);
    }
    std::string key = FoldCase(path, rules_);
    // Such file systems drop the blanks and dots that end a name ("b.pdf " is "b.pdf").
    const std::size_t nameStart = folderPath.size();
    while (key.size() > nameStart && (key.back() == ' ' || key.back() == '.')) {
        key.pop_back();
    }
    return key;
}

bool RunOutputs::Claim(std::string_view output) {
    return claimed_.Insert(Key(output));
}

OutputBefore RunOutputs::Before(const std::string& output) {
    OutputBefore before;
    if (output.empty()) {
        return before;
    }
    std::string folderPath;
    Folder& folder = FolderOf(output, folderPath);
    if (!folder.listed && ++folder.looks > kLooksBeforeListing && !folderPath.empty()) {
        folder.listed = true;
        platform::FindEntries(
            folderPath + "*",
            [&](const platform::DirEntry& entry) {
                folder.names.Insert(Key(folderPath + entry.name));
                return true;
            },
            platform::EntryDetail::Kind);
    }
    if (folder.listed && !folder.names.Contains(Key(output))) {
        return before;
    }
    before.existed = platform::GetFileStamp(output, before.stamp);
    return before;
}

bool RunOutputs::SplitWritten(const std::string& output, bool refresh) {
    std::string folderPath;
    Folder& folder = FolderOf(output, folderPath);
    if (!folder.splitListed || refresh) {
        folder.splitListed = true;
        folder.splitPages.clear();
        platform::FindEntries(folderPath + "*", [&](const platform::DirEntry& entry) {
            const std::string& name = entry.name;
            const std::size_t stemEnd = name.size() - ExtensionOf(name).size();
            const std::size_t underscore = name.rfind('_', stemEnd);
            if (entry.isDirectory || underscore == std::string::npos || underscore == 0 ||
                underscore + 1 >= stemEnd ||
                name.find_first_not_of("0123456789", underscore + 1) < stemEnd) {
                return true;
            }
            const std::string path = folderPath + name;
            // Another job's own output is no page of this one.
            if (claimed_.Contains(Key(path)) ||
                (folder.listed && folder.names.Contains(Key(path)))) {
                return true;
            }
            platform::FileStamp stamp;
            if (platform::GetFileStamp(path, stamp) && stamp.size > 0 &&
                stamp.modified >= since_ - kCoarseFileTimeNs) {
                folder.splitPages[Key(folderPath + name.substr(0, underscore) +
                                      name.substr(stemEnd))] = true;
            }
            return true;
        });
    }
    return folder.splitPages.contains(Key(output));
}

}  // namespace ka
