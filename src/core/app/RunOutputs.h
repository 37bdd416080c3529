// The outputs of one run: which name the same file as the file system holding them sees it,
// which existed before the run, and which page-split files the run wrote.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/RunResults.h"
#include "platform/platform.h"
#include "shell/Paths.h"

namespace ka {

// 64-bit hashes of keys, in one open-addressed table: a run of a million jobs keeps a key per
// output in a few megabytes instead of a string each. A large set also keeps a bit per hash in a
// filter small enough to stay in the processor's cache: a clear bit proves a key new, so most
// inserts only note the hash, and the table takes the noted ones in batches whose lookups the
// processor overlaps, instead of waiting for memory on every insert.
class KeySet {
  public:
    // False when the key was there already.
    bool Insert(std::string_view key);
    bool Contains(std::string_view key) const;
    std::size_t Size() const { return size_; }
    void Clear() {
        slots_.reset();
        capacity_ = 0;
        size_ = 0;
        filter_.clear();
        pending_.clear();
    }
    // Room for that many keys at once, instead of growing a step at a time.
    void Reserve(std::size_t keys);

  private:
    struct Free {
        void operator()(std::uint64_t* p) const { std::free(p); }
    };
    // From calloc: a large table comes zeroed from the system, each page only when first used.
    std::unique_ptr<std::uint64_t[], Free> slots_;  // 0: empty
    std::size_t capacity_ = 0;                      // a power of two, or 0
    std::size_t size_ = 0;                          // in the table and pending
    std::vector<std::uint64_t> filter_;             // empty until the set is large
    mutable std::vector<std::uint64_t> pending_;    // new for sure, not in the table yet
    static std::uint64_t Hash(std::string_view key);
    static bool Roomy(std::size_t keys, std::size_t capacity);
    void Rehash(std::size_t capacity);
    bool FilterHas(std::uint64_t h) const;
    void Place(std::uint64_t h) const;  // a hash known to be new
    void TakePending() const;
};

class RunOutputs {
  public:
    // since: the run's start (NowForFileTimes); outputs written before it are no split pages.
    RunOutputs(std::int64_t since, const PathRules& rules = PathRules::Native());

    // The path as the file system holding it tells names apart: case folded where it ignores case
    // (Windows; a folder on a share, found by a look at the folder), and on such file systems
    // the blanks and dots that end a name dropped.
    std::string Key(std::string_view path);

    // Whether two paths name one file, as the file system holding the first sees names.
    bool SameName(std::string_view a, std::string_view b);

    // Room for that many outputs of the run.
    void Reserve(std::size_t outputs) { claimed_.Reserve(outputs); }

    // Takes the output for a job of the run; false when another job has it.
    bool Claim(std::string_view output);
    bool Claimed(std::string_view output) { return claimed_.Contains(Key(output)); }

    // What the output was before the run. Once a folder has had many outputs looked at, one
    // listing of its names stands in for a look at each missing one.
    OutputBefore Before(const std::string& output);

    // True when a page of the output split by the converter ("name_<n>.ext") was written during
    // the run, is not empty, and is named by no job of the run. refresh: list the folder anew.
    bool SplitWritten(const std::string& output, bool refresh);

    // Whether a file is there now, with its stamp when it is. The looks after a NewLooks() that
    // go to one folder are each a look at the file until there are many; then one listing of
    // the folder tells which are missing, and only the files there are looked at.
    bool ThereNow(const std::string& path, platform::FileStamp& stamp);
    // Whether a file, not a folder, is there now: from the listing once there is one.
    bool FileThere(const std::string& path);
    void NewLooks() { ++looksEpoch_; }

  private:
    struct Folder {
        bool ignoresCase = false;
        int looks = 0;
        bool listed = false;
        KeySet names;  // keys of the names there before the run, once listed
        bool splitListed = false;
        std::unordered_map<std::string, bool> splitPages;  // key of "<stem><ext>": written
        long long nowEpoch = -1;  // the NewLooks() the counts below belong to
        int nowLooks = 0;
        bool nowListed = false;
        KeySet nowNames;  // keys of the names there at the listing
    };
    enum class Listing { NotListed, There, Absent };
    // What this round's listing of the path's folder says of it, once there is one.
    Listing Listed(const std::string& path);
    // folderSize: the length of the path's folder part, its last separator included.
    Folder& FolderOf(std::string_view path, std::size_t& folderSize);
    // The keys of the folder's entries (files only, or folders too) into names.
    void ListNames(const Folder& folder, const std::string& folderPath, bool filesOnly,
                   KeySet& names) const;
    // The key of a path in a folder already found.
    std::string KeyIn(const Folder& folder, std::size_t folderSize, std::string_view path) const;

    std::int64_t since_;
    PathRules rules_;
    std::unordered_map<std::string, Folder> folders_;
    // The folder of the last path asked about: runs ask about one folder over and over.
    std::string lastFolderPath_;
    Folder* lastFolder_ = nullptr;
    KeySet claimed_;
    long long looksEpoch_ = 0;
};

}  // namespace ka
