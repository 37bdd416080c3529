// Starting the converter and waiting for it; the comparison log beside the data folder.
#include <string>

#include "app/RunModes.h"
#include "platform/platform.h"

namespace ka {

namespace {
constexpr int kDisplayOutTyp = 22;
constexpr std::size_t kDataDirSuffixLength = 4;  // "KorvaneAuto" less "Auto" names "Korvane"
}  // namespace

bool RunModes::ExecKorvane(const std::string& commandLine) {
    return RunKorvane(commandLine).started;
}

platform::ProcessResult RunModes::RunKorvane(const std::string& commandLine) {
    // Every output type but display hands the whole run over through the record file, so the
    // given text is not used then.
    const std::string line =
        settings_.iOutTyp != kDisplayOutTyp
            ? ConverterStartCommand(settings_.sKorvaneExe, settings_.sComLineFile)
            : commandLine;
    if (line.empty()) {
        return {};
    }
    return platform::RunAndWait(line);
}

std::string RunModes::LogFilePath() const {
    // A data folder this short was never set up by the start-up; deleting "\Compar2.log" at a
    // drive's root (or in the current folder) would touch a file that is not ours.
    if (settings_.sDataDir.size() <= kDataDirSuffixLength) {
        return {};
    }
    std::string path =
        settings_.sDataDir.substr(0, settings_.sDataDir.size() - kDataDirSuffixLength);
    path += rules_.Separator();
    path += "Compar2.log";
    return path;
}

void RunModes::LogFileClear() {
    const std::string path = LogFilePath();
    if (!path.empty()) {
        platform::DeleteFileAt(path);  // missing or locked: nothing to report
    }
}

}  // namespace ka
