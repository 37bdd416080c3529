// The outputs of one run: which name the same file as the file system holding them sees it,
// which existed before the run, and which page-split files the run wrote.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/RunResults.h"
#include "shell/Paths.h"

namespace ka {

// 64-bit hashes of keys, in one open-addressed table: a run of a million jobs keeps a key per
// output in a few megabytes instead of a string each.
class KeySet {
  public:
    // False when the key was there already.
    bool Insert(std::string_view key);
    bool Contains(std::string_view key) const;
    std::size_t Size() const { return size_; }

  private:
    std::vector<std::uint64_t> slots_;  // 0: empty
    std::size_t size_ = 0;
    static std::uint64_t Hash(std::string_view key);
    void Grow();
};

class RunOutputs {
  public:
    // since: the run's start (NowForFileTimes); outputs written before it are no split pages.
    RunOutputs(std::int64_t since, const PathRules& rules = PathRules::Native());

    // The path as the file system holding it tells names apart: case folded where it ignores case
    // (Windows; a folder on a share, found by a look at the folder), and on such file systems
    // the blanks and dots that end a name dropped.
    std::string Key(std::string_view path);

    // Takes the output for a job of the run; false when another job has it.
    bool Claim(std::string_view output);
    bool Claimed(std::string_view output) { return claimed_.Contains(Key(output)); }

    // What the output was before the run. Once a folder has had many outputs looked at, one
    // listing of its names stands in for a look at each missing one.
    OutputBefore Before(const std::string& output);

    // True when a page of the output split by the converter ("name_<n>.ext") was written during
    // the run, is not empty, and is named by no job of the run. refresh: list the folder anew.
    bool SplitWritten(const std::string& output, bool refresh);

  private:
    struct Folder {
        bool ignoresCase = false;
        int looks = 0;
        bool listed = false;
        KeySet names;  // keys of the names there before the run, once listed
        bool splitListed = false;
        std::unordered_map<std::string, bool> splitPages;  // key of "<stem><ext>": written
    };
    Folder& FolderOf(std::string_view path, std::string& folderPath);

    std::int64_t since_;
    PathRules rules_;
    std::unordered_map<std::string, Folder> folders_;
    KeySet claimed_;
};

}  // namespace ka
