// Settings beyond the 23-line parameter file, which other tools read and which therefore never
// changes shape. They live in "KorvaneAuto.ini" in the data folder: INI text, CR LF lines,
// written through a temporary file and a rename, every line we do not own kept as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/DataFiles.h"
#include "shell/Paths.h"

namespace ka {

struct RunSettings {
    // Converter exit codes that mean success; a job whose output is present after any other
    // code is doubtful, not written.
    std::vector<int> successExitCodes{0};
    // Standby overwrites an output that existed before the run instead of numbering the new one.
    bool replaceOutputs = false;
    // The converter is ended when no job's output has appeared or grown for this long; 0: never.
    double converterIdleMinutes = 30;
    // Converter processes run at once.
    std::int32_t converters = 1;
    // Several machines take files from one hot folder by claiming them.
    bool sharedHotFolder = false;

    bool IsSuccessExitCode(int code) const;
};

// One key of the file. Every reader, writer and the "Set" dialog walk the one table below.
struct RunSettingField {
    std::string_view key;      // in section [Run]
    std::string_view caption;  // the control's caption in "Set"
    std::variant<bool RunSettings::*, std::int32_t RunSettings::*, double RunSettings::*,
                 std::vector<int> RunSettings::*>
        member;
    double min = 0;  // numbers are clamped into [min, max]
    double max = 0;
};

inline constexpr const char* kRunSection = "Run";

extern const RunSettingField kRunSettingFields[5];

// The value's text as the file holds it ("0;3", "1", "0.5").
std::string RunSettingText(const RunSettings& settings, const RunSettingField& field);
// Takes the value from its text: a number out of range is clamped, text that is no value at
// all leaves the default. False when the text had to be changed to fit.
bool SetRunSetting(RunSettings& settings, const RunSettingField& field, std::string_view text);

// An INI file as lines, so that what we do not know is written back as it was read.
class IniFile {
  public:
    // A missing file is empty; false only when an existing file cannot be read.
    bool Load(const std::string& path);
    // The value of the first "key=value" line of the section (keys without regard to case).
    bool Get(std::string_view section, std::string_view key, std::string& value) const;
    // Replaces the key's line in the section, or adds it at the section's end (the section at
    // the file's end when it is new).
    void Set(std::string_view section, std::string_view key, std::string_view value);
    const std::vector<std::string>& Lines() const { return lines_; }
    // Through path + ".tmp" and a rename. 0, or the error code.
    int Save(const std::string& path) const;

  private:
    std::vector<std::string> lines_;
    // [first line of the section's body, end) of the section, npos when it is missing.
    std::pair<std::size_t, std::size_t> SectionBody(std::string_view section) const;
};

std::string RunSettingsPath(const std::string& dataDir,
                            const PathRules& rules = PathRules::Native());
// Reads the data folder's file again (another tool, or the other section's writer, may have
// changed it since), lets edit change it, and writes it only when a line changed. 0, ENOENT
// without a data folder, EIO when it cannot be read, or Save's error.
int UpdateRunSettingsFile(const std::string& dataDir, const std::function<void(IniFile&)>& edit);

// Reads the file in the data folder; a missing file, or a key missing from it, is the default.
RunSettings LoadRunSettings(const std::string& dataDir);
// Writes the settings into the file, keeping everything else in it; only when something
// changed. 0, or the error code.
int SaveRunSettings(const std::string& dataDir, const RunSettings& settings);

}  // namespace ka
