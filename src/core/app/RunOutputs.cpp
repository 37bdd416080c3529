#include "app/RunOutputs.h"

#include <new>
#include <string>
#include <string_view>

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
    // The library's string hash takes eight bytes a step; a million outputs are hashed twice.
    std::uint64_t h = std::hash<std::string_view>{}(key);
    h ^= h >> 31;
    return h == 0 ? 1 : h;
}

namespace {
// Sets this large get the filter: 2^22 bits, half a megabyte.
constexpr std::size_t kFilteredCapacity = std::size_t{1} << 17;
constexpr int kFilterBitsLog2 = 22;
constexpr std::size_t kMostPending = 4096;
}  // namespace

bool KeySet::Roomy(std::size_t keys, std::size_t capacity) {
    // Filled to three quarters: fewer pages to make than at half, and a probe of eight-byte
    // slots still ends within a cache line or two.
    return keys * 4 <= capacity * 3;
}

bool KeySet::FilterHas(std::uint64_t h) const {
    // The top bits: the table takes its slot from the bottom ones.
    const std::uint64_t bit = h >> (64 - kFilterBitsLog2);
    return ((filter_[bit >> 6] >> (bit & 63)) & 1) != 0;
}

void KeySet::Place(std::uint64_t h) const {
    const std::size_t mask = capacity_ - 1;
    std::size_t i = h & mask;
    while (slots_[i] != 0) {
        i = (i + 1) & mask;
    }
    slots_[i] = h;
}

void KeySet::TakePending() const {
    for (const std::uint64_t h : pending_) {
        Place(h);
    }
    pending_.clear();
}

void KeySet::Rehash(std::size_t capacity) {
    auto* table = static_cast<std::uint64_t*>(std::calloc(capacity, sizeof(std::uint64_t)));
    if (table == nullptr) {
        throw std::bad_alloc();
    }
    std::unique_ptr<std::uint64_t[], Free> old(table);
    std::swap(old, slots_);
    const std::size_t oldCapacity = capacity_;
    capacity_ = capacity;
    for (std::size_t k = 0; k < oldCapacity; ++k) {
        if (old[k] != 0) {
            Place(old[k]);
        }
    }
    if (filter_.empty() && capacity_ >= kFilteredCapacity) {
        filter_.assign((std::size_t{1} << kFilterBitsLog2) / 64, 0);
        const auto mark = [this](std::uint64_t h) {
            const std::uint64_t bit = h >> (64 - kFilterBitsLog2);
            filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
        };
        // An empty table is not read: its pages are not made yet.
        for (std::size_t k = 0; size_ > 0 && k < capacity_; ++k) {
            if (slots_[k] != 0) {
                mark(slots_[k]);
            }
        }
    }
}

void KeySet::Reserve(std::size_t keys) {
    std::size_t capacity = 64;
    while (!Roomy(keys, capacity)) {
        capacity *= 2;
    }
    if (capacity > capacity_) {
        TakePending();
        Rehash(capacity);
    }
}

bool KeySet::Insert(std::string_view key) {
    if (!Roomy(size_ + 1, capacity_)) {
        TakePending();
        Rehash(capacity_ == 0 ? 64 : capacity_ * 2);
    }
    const std::uint64_t h = Hash(key);
    if (!filter_.empty()) {
        const std::uint64_t bit = h >> (64 - kFilterBitsLog2);
        std::uint64_t& word = filter_[bit >> 6];
        const std::uint64_t mask = std::uint64_t{1} << (bit & 63);
        if ((word & mask) == 0) {
            word |= mask;
            pending_.push_back(h);
            ++size_;
            if (pending_.size() >= kMostPending) {
                TakePending();
            }
            return true;
        }
        TakePending();
    }
    const std::size_t mask = capacity_ - 1;
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
    if (capacity_ == 0) {
        return false;
    }
    const std::uint64_t h = Hash(key);
    if (!filter_.empty()) {
        if (!FilterHas(h)) {
            return false;
        }
        TakePending();
    }
    const std::size_t mask = capacity_ - 1;
    for (std::size_t i = h & mask; slots_[i] != 0; i = (i + 1) & mask) {
        if (slots_[i] == h) {
            return true;
        }
    }
    return false;
}

RunOutputs::RunOutputs(std::int64_t since, const PathRules& rules) : since_(since), rules_(rules) {}

RunOutputs::Folder& RunOutputs::FolderOf(std::string_view path, std::size_t& folderSize) {
    const std::size_t separator = LastSeparatorPos(path, rules_);
    folderSize = separator == std::string_view::npos ? 0 : separator + 1;
    const std::string_view folderPath = path.substr(0, folderSize);
    if (lastFolder_ != nullptr && folderPath == lastFolderPath_) {
        return *lastFolder_;
    }
    auto found = folders_.find(std::string(folderPath));
    if (found == folders_.end()) {
        Folder folder;
        folder.ignoresCase = rules_.style == PathStyle::Windows ||
                             (!folderPath.empty() && FolderIgnoresCase(std::string(folderPath)));
        found = folders_.emplace(std::string(folderPath), std::move(folder)).first;
    }
    lastFolderPath_ = folderPath;
    lastFolder_ = &found->second;
    return found->second;
}

std::string RunOutputs::KeyIn(const Folder& folder, std::size_t folderSize,
                              std::string_view path) const {
    if (!folder.ignoresCase) {
        return std::string(path);
    }
    std::string key = FoldCase(path, rules_);
    // Such file systems drop the blanks and dots that end a name ("b.pdf " is "b.pdf").
    while (key.size() > folderSize && (key.back() == ' ' || key.back() == '.')) {
        key.pop_back();
    }
    return key;
}

std::string RunOutputs::Key(std::string_view path) {
    std::size_t folderSize = 0;
    const Folder& folder = FolderOf(path, folderSize);
    return KeyIn(folder, folderSize, path);
}

bool RunOutputs::SameName(std::string_view a, std::string_view b) {
    std::size_t folderSize = 0;
    const Folder& folder = FolderOf(a, folderSize);
    if (!folder.ignoresCase) {
        return a == b;
    }
    std::string keyOfA = KeyIn(folder, folderSize, a);
    return keyOfA == Key(b);
}

bool RunOutputs::Claim(std::string_view output) {
    std::size_t folderSize = 0;
    const Folder& folder = FolderOf(output, folderSize);
    return folder.ignoresCase ? claimed_.Insert(KeyIn(folder, folderSize, output))
                              : claimed_.Insert(output);
}

OutputBefore RunOutputs::Before(const std::string& output) {
    OutputBefore before;
    if (output.empty()) {
        return before;
    }
    std::size_t folderSize = 0;
    Folder& folder = FolderOf(output, folderSize);
    if (!folder.listed && ++folder.looks > kLooksBeforeListing && folderSize > 0) {
        folder.listed = true;
        ListNames(folder, output.substr(0, folderSize), false, folder.names);
    }
    if (folder.listed && !folder.names.Contains(KeyIn(folder, folderSize, output))) {
        return before;
    }
    before.existed = platform::GetFileStamp(output, before.stamp);
    return before;
}

bool RunOutputs::SplitWritten(const std::string& output, bool refresh) {
    std::size_t folderSize = 0;
    Folder& folder = FolderOf(output, folderSize);
    if (!folder.splitListed || refresh) {
        const std::string folderPath = output.substr(0, folderSize);
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

void RunOutputs::ListNames(const Folder& folder, const std::string& folderPath, bool filesOnly,
                           KeySet& names) const {
    platform::FindEntries(
        folderPath + "*",
        [&](const platform::DirEntry& entry) {
            if (!filesOnly || !entry.isDirectory) {
                names.Insert(KeyIn(folder, folderPath.size(), folderPath + entry.name));
            }
            return true;
        },
        platform::EntryDetail::Kind);
}

bool RunOutputs::ThereNow(const std::string& path, platform::FileStamp& stamp) {
    return Listed(path) != Listing::Absent && platform::GetFileStamp(path, stamp);
}

bool RunOutputs::FileThere(const std::string& path) {
    const Listing listed = Listed(path);
    return listed == Listing::NotListed ? platform::FileExists(path) : listed == Listing::There;
}

RunOutputs::Listing RunOutputs::Listed(const std::string& path) {
    std::size_t folderSize = 0;
    Folder& folder = FolderOf(path, folderSize);
    if (folder.nowEpoch != looksEpoch_) {
        folder.nowEpoch = looksEpoch_;
        folder.nowLooks = 0;
        folder.nowListed = false;
        folder.nowNames.Clear();
    }
    if (!folder.nowListed && ++folder.nowLooks > kLooksBeforeListing && folderSize > 0) {
        folder.nowListed = true;
        // Files only: a folder of an output's or input's name is neither.
        ListNames(folder, path.substr(0, folderSize), true, folder.nowNames);
    }
    if (!folder.nowListed) {
        return Listing::NotListed;
    }
    return folder.nowNames.Contains(KeyIn(folder, folderSize, path)) ? Listing::There
                                                                     : Listing::Absent;
}

}  // namespace ka
