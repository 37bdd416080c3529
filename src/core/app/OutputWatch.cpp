#include "app/OutputWatch.h"

#include <string>
#include <vector>

#include "shell/Paths.h"

namespace ka {

std::string JobOutputPath(const std::string& arguments) {
    const std::vector<std::string> tokens = platform::SplitCommandLine(arguments);
    for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
        if (it->size() >= 2 && (*it)[0] == '/' && ((*it)[1] == 'o' || (*it)[1] == 'O')) {
            return it->substr(2);
        }
    }
    return {};
}

bool OutputAppeared(const std::string& output, std::int64_t runStart) {
    const auto fresh = [runStart](const std::string& path) {
        platform::FileStamp stamp;
        return platform::GetFileStamp(path, stamp) && stamp.modified >= runStart;
    };
    if (output.empty()) {
        return false;
    }
    if (fresh(output)) {
        return true;
    }
    // A converter that splits an output by page names the first page "<name>_1<ext>".
    const std::string name = NamePart(output);
    const std::size_t dot = name.rfind('.');
    const std::size_t cut =
        dot == std::string::npos ? output.size() : output.size() - name.size() + dot;
    return fresh(output.substr(0, cut) + "_1" + output.substr(cut));
}

namespace {
platform::FilePtr OpenRecord(const std::string& path) {
    int errorCode = 0;
    return platform::OpenFile(path, "rb", errorCode);
}
}  // namespace

OutputWatch::OutputWatch(const std::string& recordFile, long long firstLine, std::int64_t runStart)
    : record_(OpenRecord(recordFile)),
      reader_(record_.get()),
      nextLine_(firstLine),
      runStart_(runStart) {}

// The output of the job in hand, reading the next job when there is none; false at the end.
// Jobs that name no output (an empty line) are passed over.
bool OutputWatch::NextJob(std::string& output) {
    while (true) {
        if (!havePending_) {
            if (!reader_.ReadLine(pending_)) {
                return false;
            }
            havePending_ = true;
        }
        output = JobOutputPath(pending_);
        if (!output.empty()) {
            return true;
        }
        havePending_ = false;
        if (nextLine_ >= 0) {
            ++nextLine_;
        }
    }
}

void OutputWatch::Mark(RunHost& host, JobResult mark) {
    havePending_ = false;
    if (nextLine_ >= 0) {
        host.MarkLine(nextLine_++, mark, {});
    }
}

void OutputWatch::Check(int budget, RunHost& host, RunProgress& progress) {
    std::string output;
    for (int checked = 0; record_ && checked < budget && NextJob(output); ++checked) {
        if (!OutputAppeared(output, runStart_)) {
            return;
        }
        ++progress.done;
        Mark(host, JobResult::Written);
    }
}

}  // namespace ka
