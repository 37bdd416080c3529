// Follows a conversion while the converter runs: the jobs' outputs in the order they were handed
// over, a few per call, so that watching costs the same for ten jobs or a million.
#pragma once

#include <cstdint>
#include <string>

#include "app/RunHost.h"
#include "platform/platform.h"
#include "settings/TextFile.h"

namespace ka {

// The file a job's argument string names with its last "/o" token; empty when there is none.
std::string JobOutputPath(const std::string& arguments);

// True when the output (or, split by page, its "_1" file) exists and was written at or after
// runStart (FileStamp time).
bool OutputAppeared(const std::string& output, std::int64_t runStart);

class OutputWatch {
  public:
    // The jobs are the lines of the record file. firstLine: the run-list line of the first job,
    // the others following it; -1 when the jobs have no lines of their own in the run list.
    OutputWatch(const std::string& recordFile, long long firstLine, std::int64_t runStart);

    // Checks at most budget jobs from the first one not yet seen done, stopping at a job whose
    // output has not appeared (the converter works in order). Each job seen done is marked on
    // its line and counted in progress.done. A negative budget checks every remaining job.
    void Check(int budget, RunHost& host, RunProgress& progress);

  private:
    platform::FilePtr record_;
    TextLineReader reader_;
    long long nextLine_;
    std::int64_t runStart_;
    std::string pending_;  // the job being waited for
    bool havePending_ = false;

    bool NextJob(std::string& output);
    void Mark(RunHost& host, JobResult mark);
};

}  // namespace ka
