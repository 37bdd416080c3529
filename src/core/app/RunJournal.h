// The jobs of one run on disk, and what became of them. A run of any length needs the same
// memory, and a run that never ended (a crash, a kill, a power loss) is finished at the next
// start from what its journal says. CR LF text: a header line, a line per job in the order the
// jobs were added, then notes appended as the run goes (verdicts as they are decided, how far
// the inputs are settled, the end), each flushed as it is written.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/JobResult.h"
#include "app/RunResults.h"
#include "platform/platform.h"
#include "settings/TextFile.h"

namespace ka {

// One job as the run keeps it.
struct JournalJob {
    JobSpec job;
    std::string arguments;    // the converter's argument string; empty for a decided job
    long long listLine = -1;  // its run-list line; -1 for none
    bool keepInputs = false;  // the inputs stay whatever the result
    bool decided = false;     // decided without the converter: the verdict holds
    JobVerdict verdict;
    OutputBefore before;
    std::vector<bool> inputKnown;  // a stamp was taken at hand-over (the inputs may be settled)
    std::vector<platform::FileStamp> inputStamps;
};

class RunJournal {
  public:
    struct Header {
        std::string mode;
        bool settlesInputs = false;
    };

    RunJournal() = default;
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Starts a new journal, replacing one at the path.
    bool Create(const std::string& path, const Header& header);
    // Appends a job. False once any write has failed.
    bool Add(const JournalJob& job);
    // Ends the job lines: they are on disk and can be read; notes may follow. False when the
    // journal is not whole.
    bool EndJobs();
    long long Jobs() const { return jobs_; }
    const std::string& Path() const { return path_; }

    // Reads count jobs from index first, in order. False when the journal cannot be read.
    bool Read(long long first, long long count,
              const std::function<void(long long index, const JournalJob& job)>& visit) const;

    // The notes. Verdicts of the jobs from first on; inputs settled and reported for every job
    // before `through`; the run ended. False when the note could not be written.
    bool NoteVerdicts(long long first, const std::vector<JobVerdict>& verdicts);
    bool NoteSettled(long long through);
    bool NoteFinished();
    void Close();

    // A journal whose run did not end: its header, the verdict noted for each job (none where
    // the run had not decided), and how far its inputs were settled. False when there is no
    // journal, it cannot be read, or its run ended.
    struct Interrupted {
        Header header;
        long long settled = 0;
        std::vector<std::optional<JobVerdict>> verdicts;
    };
    static bool FindInterrupted(const std::string& path, Interrupted& found);
    // Reads every job of a journal in order.
    static bool ReadAll(const std::string& path,
                        const std::function<void(long long index, const JournalJob& job)>& visit);

  private:
    friend class JournalCursor;
    // The job lines written out: notes and reads come after them.
    void EndJobLines();
    static constexpr long long kIndexStep = 256;
    std::string path_;
    platform::FilePtr file_;
    std::optional<LineWriter> jobLines_;  // the job lines, until they end
    bool failed_ = false;
    long long jobs_ = 0;
    std::uint64_t written_ = 0;           // bytes so far
    std::vector<std::uint64_t> offsets_;  // of job n * kIndexStep
    std::string line_;                    // reused: a line per job
};

// Reads a journal's jobs one after another from a given job on, for a watch that follows the
// converter through them.
class JournalCursor {
  public:
    JournalCursor(const RunJournal& journal, long long first, long long count);
    // The next job; false at the end of the range or when the journal cannot be read.
    bool Next(JournalJob& job);
    long long Index() const { return next_; }  // of the job Next gives next

  private:
    platform::FilePtr file_;
    std::optional<TextLineReader> reader_;
    long long next_;
    long long end_;
    std::string line_;
    std::vector<std::string_view> fields_;
};

}  // namespace ka
