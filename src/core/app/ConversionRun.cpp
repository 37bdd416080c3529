#include "app/ConversionRun.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "app/FolderCompare.h"
#include "app/RunModes.h"
#include "app/SharedHotFolder.h"
#include "settings/DataFiles.h"
#include "settings/TextFile.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

const char* const kWaitingForLock = "Waiting for another KorvaneAuto on this data folder !";
constexpr auto kLockPoll = std::chrono::milliseconds(200);
// The window gets its events this often while converters run, and this many looks at a job's
// output find nothing each time at most. Outputs found go on being counted for a few
// milliseconds more, so the progress keeps up with a converter that writes many a second.
constexpr int kWaitSliceMs = 50;
constexpr int kChecksPerSlice = 10;
constexpr auto kMostWatchPerSlice = std::chrono::milliseconds(5);
// Jobs the watch looks past the one it waits for: a job that writes nothing must not make a
// converter that goes on look idle.
constexpr std::size_t kLookAhead = 3;
constexpr int kTerminateGraceMs = 3000;
constexpr std::size_t kRecordBufferSize = 256 * 1024;
// The report and the journal's "settled" note are brought to disk this often while a run
// settles its jobs, so a run killed on the way owes only the jobs after it.
constexpr long long kSettleNoteEvery = 256;
constexpr auto kSettleNoteInterval = std::chrono::milliseconds(200);
// The most jobs one converter start gets in a run that deletes its inputs.
constexpr long long kSettlingStartJobs = 256;
// Crashed starts, before any start of the run has ended well, after which it gives up.
constexpr int kMostStartsWithoutNormalEnd = 8;

using Clock = std::chrono::steady_clock;

bool IsAbnormal(const platform::ProcessResult& end) {
    return end.end != platform::ProcessEnd::Exited;
}

// The rule's words for a pair the comparison dropped ("*1 File size and update time are the
// same"), from its log line.
std::string RuleText(const JobVerdict& verdict, std::int32_t sizeOverPercent) {
    if (verdict.reason != JobReason::SkippedByRule) {
        return {};
    }
    std::string text =
        CompLogLine(static_cast<CompSkip>(verdict.detail), sizeOverPercent, std::string());
    const std::size_t tail = text.rfind(" ; ");
    if (tail != std::string::npos) {
        text.erase(tail);
    }
    return text;
}

// An output the converter has made whole so far: there, not empty, and new or changed.
bool OutputFresh(const JournalJob& job, std::uint64_t* size = nullptr) {
    const std::string& output = job.job.output;
    std::uint64_t bytes = 0;
    bool changed = true;
    if (output.empty()) {
        return false;
    }
    if (!job.before.existed) {
        // Nothing of that name before: its size says it all, and a size is had without opening
        // the file (on Windows an open costs several times as much).
        std::uint32_t dosTime = 0;
        if (!platform::GetDosTimeAndSize(output, dosTime, bytes)) {
            return false;
        }
    } else {
        platform::FileStamp now;
        if (!platform::GetFileStamp(output, now)) {
            return false;
        }
        bytes = now.size;
        changed = now != job.before.stamp;
    }
    if (size) {
        *size = bytes;
    }
    return bytes > 0 && changed;
}

// Deletes (done) or moves to Failed (failed) the inputs of a job, while each is still the file
// that was handed over; the rest stay.
InputFate SettleInputs(const JournalJob& job, const JobVerdict& verdict, const PathRules& rules,
                       std::vector<UnsettledInput>& unsettled) {
    const bool done = JobDone(verdict.result);
    const bool failed =
        verdict.result == JobResult::NoOutput || verdict.result == JobResult::Doubtful;
    if (job.keepInputs || (!done && !failed)) {
        return InputFate::Kept;
    }
    // A file replaced or changed during the run is another version: the whole job (both files
    // of a pair too) waits for the next cycle.
    for (std::size_t i = 0; i < job.job.inputs.size(); ++i) {
        platform::FileStamp now;
        if (job.inputKnown[i] &&
            (!platform::GetFileStamp(job.job.inputs[i], now) || now != job.inputStamps[i])) {
            return InputFate::Kept;
        }
    }
    InputFate fate = done ? InputFate::Deleted : InputFate::MovedToFailed;
    for (std::size_t i = 0; i < job.job.inputs.size(); ++i) {
        if (!job.inputKnown[i]) {
            continue;
        }
        const std::string& path = job.job.inputs[i];
        const int error = done ? platform::DeleteFileAt(path) : MoveToFailedFolder(path, rules);
        if (error != 0) {
            unsettled.push_back({path, job.inputStamps[i], error});
            fate = InputFate::Kept;
        }
    }
    return fate;
}

InputFate Settle(const JournalJob& job, const JobVerdict& verdict, const ClaimedInputs* claimed,
                 const PathRules& rules, std::vector<UnsettledInput>& unsettled) {
    return claimed ? SettleClaimedInputs(job, verdict, *claimed, unsettled)
                   : SettleInputs(job, verdict, rules, unsettled);
}

// The inputs as the report names them: claimed ones by their place in the hot folder.
const std::vector<std::string>& ShownInputs(const JournalJob& job, const ClaimedInputs* claimed,
                                            std::vector<std::string>& room) {
    if (!claimed) {
        return job.job.inputs;
    }
    room.clear();
    for (const std::string& input : job.job.inputs) {
        room.push_back(claimed->Shown(input));
    }
    return room;
}

std::string Seconds(Clock::time_point since) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms.count()) / 1000.0);
    return text;
}

}  // namespace

// One converter process and the jobs it was given.
struct ConversionRun::Slot {
    std::size_t number = 0;
    std::unique_ptr<platform::Process> process;
    Group group;
    bool busy = false;
    bool timedOut = false;
    // The watch: the jobs in the order handed over, the one waited for and a few after it.
    std::unique_ptr<JournalCursor> cursor;
    std::deque<JournalJob> ahead;
    std::uint64_t awaitedSize = 0;
    long long liveDone = 0;
    Clock::time_point lastProgress;
};

ConversionRun::ConversionRun(const RunContext& context, RunPlan plan)
    : ctx_(context), plan_(std::move(plan)) {
    if (plan_.journalPath.empty()) {
        plan_.journalPath = DataFile(kJournalFileName);
    }
}

ConversionRun::~ConversionRun() {
    DropWholeRecord();
}

std::string ConversionRun::DataFile(const char* name) const {
    if (!ctx_.settings.sDataDir.empty()) {
        return JoinPath(ctx_.settings.sDataDir, name, ctx_.rules);
    }
    return FolderPart(ctx_.settings.sComLineFile, ctx_.rules) + name;
}

std::string ConversionRun::RecordFileOf(std::size_t slot) const {
    const std::string& first = ctx_.settings.sComLineFile;
    if (slot == 0) {
        return first;
    }
    // "Korvaneline.txt", "Korvaneline2.txt", ... beside it.
    const std::string name = NamePart(first, ctx_.rules);
    return ReplaceExtension(first, std::to_string(slot + 1) + std::string(ExtensionOf(name)),
                            ctx_.rules);
}

bool ConversionRun::LockDataFolder() {
    int error = 0;
    bool waited = false;
    while (!lock_.TryLock(DataFile(kRunLockFileName), error)) {
        if (error != 0) {
            // No lock file can be made there; the record file then fails the same way.
            return true;
        }
        if (!waited) {
            ctx_.host.SetStatusText(kWaitingForLock);
            waited = true;
        }
        if (ctx_.flags.bEndRequested || ctx_.stopRequested) {
            return false;
        }
        ctx_.host.PumpMessages();
        KeepAlive();
        std::this_thread::sleep_for(kLockPoll);
    }
    if (waited) {
        ctx_.host.SetStatusText("Outputting !");
    }
    return true;
}

bool ConversionRun::Open() {
    if (!LockDataFolder()) {
        return false;
    }
    RecoverInterrupted(plan_.journalPath, ctx_, nullptr, plan_.claimed);
    const Settings& s = ctx_.settings;
    if (!platform::IsExecutableFile(s.sKorvaneExe)) {
        ctx_.sink.ShowMsg(PathMessage(s.sKorvaneExe, kMsgConverterCannotStart));
        exitCode_ = 2;
        lock_.Unlock();
        return false;
    }
    // The record file is emptied at the start, so no converter ever finds an earlier run's
    // jobs in it; one that cannot be written stops the run before anything happens.
    int error = 0;
    platform::FilePtr record = platform::OpenFile(s.sComLineFile, "wb", error);
    if (!record) {
        ctx_.sink.ShowMsg(PathMessage(s.sComLineFile, kMsgCannotOpen));
        exitCode_ = 2;
        lock_.Unlock();
        return false;
    }
    // With one converter the first start takes every job (unless each input is settled a start
    // at a time): its record file is written as the jobs come instead of being read back from
    // the journal. Until that start it holds jobs no converter has; a run that ends before it
    // empties the file again.
    if (!plan_.display && !plan_.settlesInputs && Converters() == 1) {
        platform::BufferForOneThread(record.get(), kRecordBufferSize);
        wholeRecord_ = std::make_unique<WholeRecord>(std::move(record));
    }
    if (!journal_.Create(plan_.journalPath, {plan_.mode, plan_.settlesInputs})) {
        ctx_.sink.ShowMsg(PathMessage(plan_.journalPath, kMsgCannotOpen));
        exitCode_ = 2;
        lock_.Unlock();
        return false;
    }
    runStart_ = platform::NowForFileTimes();
    outputs_ = std::make_unique<RunOutputs>(runStart_, ctx_.rules);
    if (plan_.expectedJobs > 0) {
        outputs_->Reserve(plan_.expectedJobs);
        verdicts_.reserve(plan_.expectedJobs);
        decided_.reserve(plan_.expectedJobs);
    }
    open_ = true;
    return true;
}

void ConversionRun::Abandon(const std::string& message) {
    if (!addFailed_) {
        ctx_.sink.ShowMsg(message);
    }
    addFailed_ = true;
    exitCode_ = std::max(exitCode_, 2);
}

bool ConversionRun::AddJob(JournalJob& job) {
    if (!journal_.Add(job)) {
        Abandon(PathMessage(journal_.Path(), kMsgCannotOpen));
        return false;
    }
    verdicts_.push_back(job.verdict);
    decided_.push_back(job.decided);
    if (job.decided) {
        Decide(static_cast<long long>(verdicts_.size()) - 1, job.verdict, job.listLine);
    }
    return true;
}

namespace {
void TakeStamps(JournalJob& job, bool settles, const StampsByPath* known) {
    const std::size_t n = job.job.inputs.size();
    job.inputKnown.assign(n, false);
    job.inputStamps.resize(n);
    if (!settles) {
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (const platform::FileStamp* found = known ? known->Find(job.job.inputs[i]) : nullptr) {
            job.inputStamps[i] = *found;
            job.inputKnown[i] = true;
        } else {
            job.inputKnown[i] = platform::GetFileStamp(job.job.inputs[i], job.inputStamps[i]);
        }
    }
}
}  // namespace

bool ConversionRun::Add(JobSpec& spec, std::string& arguments, long long listLine) {
    if (!open_ || addFailed_) {
        return false;
    }
    JournalJob& job = job_;
    job.listLine = listLine;
    job.keepInputs = false;
    job.decided = false;
    job.verdict = JobVerdict{};
    job.before = OutputBefore{};

    const auto refuse = [&](JobReason reason) {
        job.decided = true;
        job.verdict = {JobResult::NotRun, reason, 0};
    };
    for (const std::string& input : spec.inputs) {
        if (!IsJobSafePath(input, ctx_.rules)) {
            refuse(JobReason::UnsafeName);
        }
    }
    if (!job.decided && !spec.output.empty()) {
        for (const std::string& input : spec.inputs) {
            if (outputs_->SameName(spec.output, input)) {
                refuse(JobReason::OutputIsInput);
            }
        }
    }
    if (!job.decided && !spec.output.empty()) {
        job.before = outputs_->Before(spec.output);
        if (job.before.existed && plan_.numberExistingOutputs &&
            !ctx_.settings.run.replaceOutputs) {
            // An earlier conversion of the same name survives: this one gets a numbered name.
            const std::string folder = FolderPart(spec.output, ctx_.rules);
            const std::string name = NamePart(spec.output, ctx_.rules);
            std::string numbered;
            for (int n = 2;; ++n) {
                numbered = folder + NumberedName(name, n);
                if (!outputs_->Claimed(numbered) && !platform::PathExists(numbered)) {
                    break;
                }
            }
            const std::string tail = spec.output + "\"";
            if (arguments.size() >= tail.size() &&
                arguments.compare(arguments.size() - tail.size(), tail.size(), tail) == 0) {
                arguments.replace(arguments.size() - tail.size(), spec.output.size(), numbered);
                spec.output = numbered;
                job.before = OutputBefore{};
            }
        }
        if (!outputs_->Claim(spec.output)) {
            // Never two drawings on one output: the first goes, the others wait (standby) or
            // are reported.
            refuse(JobReason::OutputTaken);
            job.keepInputs = true;
        }
    }
    job.job = spec;
    job.arguments = job.decided ? std::string() : arguments;
    TakeStamps(job, plan_.settlesInputs, knownStamps_);
    if (!job.decided && plan_.display) {
        ++ctx_.progress.total;
        ShowProgress();
        job.verdict = RunDisplayJob(arguments);
        job.decided = true;
    } else if (!job.decided) {
        ++convertible_;
        if (wholeRecord_ && wholeRecord_->lines.Failed()) {
            DropWholeRecord();  // the start writes it anew, and says so if that fails too
        } else if (wholeRecord_) {
            wholeRecord_->lines.Line(arguments);
        }
    }
    return AddJob(job);
}

bool ConversionRun::OutputThere(const std::string& output) {
    return open_ && !output.empty() && outputs_->Before(output).existed;
}

bool ConversionRun::AddDecided(const JobSpec& spec, const JobVerdict& verdict, long long listLine) {
    if (!open_ || addFailed_) {
        return false;
    }
    JournalJob& job = job_;
    job.job = spec;
    job.arguments.clear();
    job.listLine = listLine;
    job.keepInputs = false;
    job.decided = true;
    job.verdict = verdict;
    job.before = OutputBefore{};
    TakeStamps(job, plan_.settlesInputs, knownStamps_);
    return AddJob(job);
}

bool ConversionRun::StopNow() const {
    return ctx_.stopRequested;
}

void ConversionRun::ShowProgress() {
    RunProgress& p = ctx_.progress;
    p.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ctx_.clockStart)
            .count();
    long long live = 0;
    for (const auto& slot : slots_) {
        live += slot->busy ? slot->liveDone : 0;
    }
    p.done = doneSoFar_ + live;
    ctx_.host.ShowProgress(p);
}

JobVerdict ConversionRun::RunDisplayJob(const std::string& arguments) {
    if (StopNow()) {
        return {JobResult::NotRun, JobReason::Stopped, 0};
    }
    platform::Process shown;
    if (!shown.Start(DirectStartCommand(ctx_.settings.sKorvaneExe, arguments))) {
        if (!notStartedSaid_) {
            ctx_.sink.ShowMsg(PathMessage(ctx_.settings.sKorvaneExe, kMsgConverterCannotStart));
            notStartedSaid_ = true;
        }
        exitCode_ = std::max(exitCode_, 2);
        runEnd_ = shown.Result();
        return {JobResult::NotRun, JobReason::NotStarted, 0};
    }
    while (!shown.Wait(kWaitSliceMs)) {
        ShowProgress();
        ctx_.host.PumpMessages();
        if (StopNow()) {
            shown.Terminate(kTerminateGraceMs);
        }
    }
    const platform::ProcessResult& end = shown.Result();
    if (!IsAbnormal(runEnd_) || runEnd_.end == platform::ProcessEnd::NotStarted) {
        runEnd_ = end;
    }
    switch (end.end) {
        case platform::ProcessEnd::Exited:
            if (ctx_.settings.run.IsSuccessExitCode(end.exitCode)) {
                return {JobResult::Shown, JobReason::None, 0};
            }
            return {JobResult::NoOutput, JobReason::ExitCode, end.exitCode};
        case platform::ProcessEnd::Crashed:
            return {JobResult::NotRun, JobReason::Crashed, end.crashCode};
        case platform::ProcessEnd::Stopped:
            return {JobResult::NotRun, JobReason::Stopped, 0};
        default:
            return {JobResult::NotRun, JobReason::NotStarted, 0};
    }
}

void ConversionRun::Decide(long long index, const JobVerdict& verdict, long long listLine) {
    const auto i = static_cast<std::size_t>(index);
    verdicts_[i] = verdict;
    decided_[i] = true;
    if (JobDone(verdict.result)) {
        ++doneSoFar_;
    }
    if (listLine >= 0) {
        ctx_.host.MarkLine(
            listLine, verdict.result,
            verdict.reason == JobReason::None
                ? std::string()
                : JobReasonText(verdict, RuleText(verdict, ctx_.settings.iCompFileSizeOver)));
    }
}

JobVerdict ConversionRun::Judge(const JournalJob& job, const platform::ProcessResult& end,
                                bool refresh) {
    const bool success = ctx_.settings.run.IsSuccessExitCode(end.exitCode);
    if (job.job.output.empty()) {
        return success ? JobVerdict{JobResult::Shown, JobReason::None, 0}
                       : JobVerdict{JobResult::NoOutput, JobReason::ExitCode, end.exitCode};
    }
    if (refresh) {
        outputs_->NewLooks();
    }
    platform::FileStamp now;
    const bool exists = outputs_->ThereNow(job.job.output, now);
    const bool changed = exists && (!job.before.existed || now != job.before.stamp);
    if (changed && now.size == 0) {
        return {JobResult::NoOutput, JobReason::EmptyOutput, 0};
    }
    const bool written = changed || outputs_->SplitWritten(job.job.output, refresh);
    if (written) {
        return success ? JobVerdict{JobResult::Written, JobReason::None, 0}
                       : JobVerdict{JobResult::Doubtful, JobReason::ExitCode, end.exitCode};
    }
    if (!success) {
        return {JobResult::NoOutput, JobReason::ExitCode, end.exitCode};
    }
    if (job.job.absentMeansNoDifference) {
        return {JobResult::NoDifference, JobReason::None, 0};
    }
    for (const std::string& input : job.job.inputs) {
        if (!outputs_->FileThere(input)) {
            return {JobResult::NoOutput, JobReason::InputMissing, 0};
        }
    }
    return {JobResult::NoOutput, JobReason::OutputNotWritten, 0};
}

bool ConversionRun::StartGroup(Slot& slot, const Group& group) {
    const std::string recordFile = RecordFileOf(slot.number);
    long long lines = 0;
    bool ok = true;
    platform::FilePtr record;
    if (wholeRecord_ && slot.number == 0 && group.first == 0 && group.count == journal_.Jobs()) {
        ok = CloseWholeRecord();
        lines = convertible_;
    } else {
        wholeRecord_.reset();
        int error = 0;
        record = platform::OpenFile(recordFile, "wb", error);
        ok = record != nullptr;
    }
    if (record) {
        platform::BufferForOneThread(record.get(), kRecordBufferSize);
        ok = journal_.Read(group.first, group.count, [&](long long index, const JournalJob& job) {
            if (!decided_[static_cast<std::size_t>(index)]) {
                ok = WriteLineCrLf(record.get(), job.arguments) && ok;
                ++lines;
            }
        }) && ok;
        ok = CloseWritten(std::move(record)) && ok;
    }
    // A record file not written whole is never handed on: the converter would run a cut-off
    // last line and drop the rest.
    if (!ok) {
        if (!recordFailed_) {
            ctx_.sink.ShowMsg(PathMessage(recordFile, kMsgCannotOpen));
        }
        recordFailed_ = true;
        exitCode_ = std::max(exitCode_, 2);
        return false;
    }
    if (lines == 0) {
        return true;
    }
    slot.group = group;
    slot.busy = true;
    slot.timedOut = false;
    slot.liveDone = 0;
    slot.ahead.clear();
    slot.awaitedSize = 0;
    slot.lastProgress = Clock::now();
    slot.cursor = std::make_unique<JournalCursor>(journal_, group.first, group.count);
    slot.process = std::make_unique<platform::Process>();
    slot.process->Start(ConverterStartCommand(ctx_.settings.sKorvaneExe, recordFile));
    return true;
}

void ConversionRun::Watch(Slot& slot, int budget) {
    std::deque<JournalJob>& ahead = slot.ahead;
    const auto fill = [&] {
        while (ahead.size() <= kLookAhead) {
            JournalJob next;
            if (!slot.cursor->Next(next)) {
                return;
            }
            const auto index = static_cast<std::size_t>(slot.cursor->Index() - 1);
            // Decided jobs never went to this converter; jobs without an output show nothing.
            if (!decided_[index] && !next.job.output.empty()) {
                ahead.push_back(std::move(next));
            }
        }
    };
    const auto until = Clock::now() + kMostWatchPerSlice;
    for (int checked = 0; checked < budget;) {
        fill();
        if (ahead.empty()) {
            return;
        }
        std::uint64_t size = 0;
        if (OutputFresh(ahead.front(), &size)) {
            if (ahead.front().listLine >= 0) {
                ctx_.host.MarkLine(ahead.front().listLine, JobResult::Written, {});
            }
            ++slot.liveDone;
            slot.lastProgress = Clock::now();
            slot.awaitedSize = 0;
            ahead.pop_front();
            if (slot.lastProgress >= until) {
                ++checked;
            }
            continue;
        }
        ++checked;
        if (size != slot.awaitedSize) {
            slot.awaitedSize = size;  // growing: the converter is at work on it
            slot.lastProgress = Clock::now();
        }
        // A job that writes nothing holds the watch up; the converter may be past it.
        bool moved = false;
        for (std::size_t i = 1; i < ahead.size() && checked < budget; ++i) {
            ++checked;
            if (OutputFresh(ahead[i])) {
                ahead.erase(ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(i));
                slot.awaitedSize = 0;
                moved = true;
                break;
            }
        }
        if (!moved) {
            return;
        }
    }
}

void ConversionRun::DecideGroups(std::deque<Group>& pending, const JobVerdict& verdict) {
    for (const Group& group : pending) {
        std::vector<JobVerdict> notes;
        journal_.Read(group.first, group.count, [&](long long index, const JournalJob& job) {
            if (!decided_[static_cast<std::size_t>(index)]) {
                Decide(index, verdict, job.listLine);
            }
            notes.push_back(verdicts_[static_cast<std::size_t>(index)]);
        });
        journal_.NoteVerdicts(group.first, notes);
    }
    pending.clear();
}

void ConversionRun::EndOfStart(Slot& slot, std::deque<Group>& pending) {
    slot.busy = false;
    const Group group = slot.group;
    const platform::ProcessResult end = slot.process->Result();
    const bool timedOut = slot.timedOut;
    slot.process.reset();
    slot.cursor.reset();
    slot.ahead.clear();
    if (!IsAbnormal(runEnd_) || runEnd_.end == platform::ProcessEnd::NotStarted) {
        runEnd_ = end;
    }
    if (end.end == platform::ProcessEnd::Exited) {
        anyNormalEnd_ = true;
    }

    // The converter's end for jobs that did not run to a result of their own.
    JobVerdict failure;
    const bool crashed = end.end == platform::ProcessEnd::Crashed || timedOut;
    if (end.end == platform::ProcessEnd::NotStarted) {
        failure = {JobResult::NotRun, JobReason::NotStarted, 0};
        if (!notStartedSaid_) {
            ctx_.sink.ShowMsg(PathMessage(ctx_.settings.sKorvaneExe, kMsgConverterCannotStart));
            notStartedSaid_ = true;
        }
        exitCode_ = std::max(exitCode_, 2);
    } else if (StopNow() || (end.end == platform::ProcessEnd::Stopped && !timedOut)) {
        failure = {JobResult::NotRun, JobReason::Stopped, 0};
    } else if (timedOut) {
        failure = {JobResult::NotRun, JobReason::TimedOut, 0};
    } else if (crashed) {
        failure = {JobResult::NotRun, JobReason::Crashed, end.crashCode};
    }

    if (failure.reason == JobReason::None) {
        std::vector<JobVerdict> notes;
        bool refresh = true;
        journal_.Read(group.first, group.count, [&](long long index, const JournalJob& job) {
            if (!decided_[static_cast<std::size_t>(index)]) {
                Decide(index, Judge(job, end, refresh), job.listLine);
                refresh = false;
            }
            notes.push_back(verdicts_[static_cast<std::size_t>(index)]);
        });
        journal_.NoteVerdicts(group.first, notes);
        return;
    }

    // Which jobs the start had in hand, and how far in order their outputs got.
    std::vector<long long> jobs;
    std::vector<std::string> firstInput;
    std::size_t reached = 0;
    bool inOrder = true;
    journal_.Read(group.first, group.count, [&](long long index, const JournalJob& job) {
        if (decided_[static_cast<std::size_t>(index)]) {
            return;
        }
        jobs.push_back(index);
        firstInput.push_back(job.job.inputs.empty() ? std::string() : job.job.inputs.front());
        if (inOrder && OutputFresh(job)) {
            ++reached;
        } else {
            inOrder = false;
        }
    });
    // A converter that has never ended well in this run is given a few starts to show that a
    // drawing, not the converter, is at fault; past those the run stops regrouping, or a
    // converter that always crashes would be started once per job.
    if (crashed && !anyNormalEnd_ && ++startsWithoutNormalEnd_ >= kMostStartsWithoutNormalEnd) {
        gaveUp_ = true;
        std::deque<Group> own{group};
        DecideGroups(own, failure);
        DecideGroups(pending, failure);
        return;
    }
    const bool isolate =
        crashed && !StopNow() && !gaveUp_ && failure.reason != JobReason::NotStarted;
    if (!isolate) {
        std::deque<Group> own{group};
        DecideGroups(own, failure);
        if (failure.reason == JobReason::NotStarted) {
            DecideGroups(pending, failure);
        }
        return;
    }
    if (jobs.size() == 1) {
        Group alone = group;
        if (++alone.aloneTries < 2) {
            pending.push_front(alone);
            return;
        }
        if (!anyNormalEnd_) {
            // Not one start has ended well: the converter fails on everything, not on this
            // drawing. Nothing is set aside; the jobs wait.
            pending.push_front(alone);
            gaveUp_ = true;
            DecideGroups(pending, failure);
            return;
        }
        const JobVerdict poison{
            JobResult::NoOutput,
            timedOut ? JobReason::TimedOutOnDrawing : JobReason::CrashedOnDrawing, 0};
        std::deque<Group> own{alone};
        DecideGroups(own, poison);
        setAside_.Add(firstInput.front());
        return;
    }
    // Smaller groups. The converter works through its jobs in order, so the job in hand when it
    // failed is the first whose output had not come: it goes alone, the jobs before it go again
    // as one group and those after it as another, the good ones first. Without that clue (every
    // output came, then it failed) the jobs go in halves.
    const auto range = [&](std::size_t from, std::size_t to) {
        return Group{jobs[from], jobs[to - 1] - jobs[from] + 1, 0};
    };
    std::vector<Group> next;
    if (reached < jobs.size()) {
        if (reached > 0) {
            next.push_back(range(0, reached));
        }
        if (reached + 1 < jobs.size()) {
            next.push_back(range(reached + 1, jobs.size()));
        }
        next.push_back(range(reached, reached + 1));
    } else {
        const std::size_t mid = jobs.size() / 2;
        next.push_back(range(mid, jobs.size()));
        next.push_back(range(0, mid));
    }
    for (auto it = next.rbegin(); it != next.rend(); ++it) {
        pending.push_front(*it);
    }
}

void ConversionRun::DealGroups(std::deque<Group>& pending) {
    const long long jobs = journal_.Jobs();
    const auto n = static_cast<long long>(slots_.size());
    // A run that deletes its inputs proves its jobs a start at a time: a program killed in the
    // middle of a long start would convert all of it again after its restart.
    const long long most = plan_.settlesInputs ? kSettlingStartJobs : jobs;
    long long first = 0;
    while (first < jobs) {
        const long long left = jobs - first;
        // Shrinking groups: few starts while much is left, small ones at the end so no
        // converter idles while another finishes a long group.
        const long long size =
            std::min(most, n == 1 ? left : std::max(1LL, (left + 2 * n - 1) / (2 * n)));
        pending.push_back({first, std::min(size, left), 0});
        first += size;
    }
}

void ConversionRun::Convert() {
    const int converters = Converters();
    for (int i = 0; i < converters; ++i) {
        slots_.push_back(std::make_unique<Slot>());
        slots_.back()->number = static_cast<std::size_t>(i);
    }
    std::deque<Group> pending;
    DealGroups(pending);
    ctx_.progress.total += convertible_;
    const double idleMinutes = ctx_.settings.run.converterIdleMinutes;
    const auto idleLimit = std::chrono::milliseconds(static_cast<long long>(idleMinutes * 60000));

    for (;;) {
        if (StopNow()) {
            for (auto& slot : slots_) {
                if (slot->busy) {
                    slot->process->Terminate(kTerminateGraceMs);
                }
            }
        }
        bool busy = false;
        for (auto& slot : slots_) {
            if (slot->busy && !slot->process->Running()) {
                EndOfStart(*slot, pending);
            }
            while (!slot->busy && !pending.empty() && !StopNow() && !recordFailed_) {
                const Group group = pending.front();
                pending.pop_front();
                if (!StartGroup(*slot, group)) {
                    pending.push_front(group);
                    DecideGroups(pending, {JobResult::NotRun, JobReason::NotHandedOver, 0});
                }
            }
            busy = busy || slot->busy;
        }
        if (!busy && (pending.empty() || StopNow() || recordFailed_)) {
            break;
        }
        int waiting = 0;
        for (auto& slot : slots_) {
            waiting += slot->busy ? 1 : 0;
        }
        for (auto& slot : slots_) {
            if (!slot->busy) {
                continue;
            }
            slot->process->Wait(kWaitSliceMs / std::max(1, waiting));
            Watch(*slot, kChecksPerSlice);
            if (idleMinutes > 0 && Clock::now() - slot->lastProgress > idleLimit &&
                slot->process->Running()) {
                slot->timedOut = true;
                slot->process->Terminate(kTerminateGraceMs);
            }
        }
        ShowProgress();
        ctx_.host.PumpMessages();
        KeepAlive();
    }
    // Stopped: whatever did not run waits.
    DecideGroups(pending, {JobResult::NotRun,
                           recordFailed_ ? JobReason::NotHandedOver : JobReason::Stopped, 0});
}

void ConversionRun::KeepAlive() const {
    if (ctx_.keepAlive) {
        ctx_.keepAlive();
    }
}

int ConversionRun::Converters() const {
    return plan_.display ? 1 : std::clamp(ctx_.settings.run.converters, 1, 64);
}

bool ConversionRun::CloseWholeRecord() {
    const bool written = wholeRecord_->lines.Finish();
    const bool closed = CloseWritten(std::move(wholeRecord_->file));
    wholeRecord_.reset();
    return closed && written;
}

void ConversionRun::DropWholeRecord() {
    if (wholeRecord_) {
        wholeRecord_.reset();
        int error = 0;
        platform::OpenFile(RecordFileOf(0), "wb", error);
    }
}

void ConversionRun::Finish() {
    if (finished_ || !open_) {
        return;
    }
    finished_ = true;
    if (!journal_.EndJobs()) {
        Abandon(PathMessage(journal_.Path(), kMsgCannotOpen));
    }
    if (!addFailed_ && convertible_ > 0) {
        Convert();
    }
    DropWholeRecord();
    SettleAndReport();
    journal_.NoteFinished();
    lock_.Unlock();
}

void ConversionRun::SettleAndReport() {
    RunReport report;
    const std::string reportPath = ctx_.settings.sDataDir.empty()
                                       ? DataFile(kReportFileName)
                                       : RunReport::PathIn(ctx_.settings.sDataDir, ctx_.rules);
    report.Open(reportPath);
    const std::int32_t percent = ctx_.settings.iCompFileSizeOver;
    long long sinceNote = 0;
    Clock::time_point lastNote = Clock::now();
    std::vector<std::string> shownRoom;
    const bool read =
        addFailed_ ||
        journal_.Read(0, journal_.Jobs(), [&](long long index, const JournalJob& job) {
            const auto i = static_cast<std::size_t>(index);
            const JobVerdict verdict =
                decided_[i] ? verdicts_[i]
                            : JobVerdict{JobResult::NotRun, JobReason::NotHandedOver, 0};
            counts_.Add(verdict.result);
            const InputFate fate = plan_.settlesInputs
                                       ? Settle(job, verdict, plan_.claimed, ctx_.rules, unsettled_)
                                       : InputFate::Kept;
            const std::string reason = JobReasonText(verdict, RuleText(verdict, percent));
            const std::vector<std::string>& inputs = ShownInputs(job, plan_.claimed, shownRoom);
            report.Line({plan_.mode, JobResultText(verdict.result),
                         plan_.settlesInputs ? InputFateText(fate) : "-",
                         job.job.output.empty() ? std::string_view("-") : job.job.output},
                        inputs, reason, true);
            if (plan_.settlesInputs && fate == InputFate::MovedToFailed) {
                ctx_.host.MovedToFailed(inputs, reason);
            }
            if (++sinceNote >= kSettleNoteEvery || Clock::now() - lastNote > kSettleNoteInterval) {
                report.Flush();
                journal_.NoteSettled(index + 1);
                sinceNote = 0;
                lastNote = Clock::now();
                KeepAlive();
            }
        });
    ShowProgress();
    summary_ = RunSummaryText(counts_);
    const platform::ProcessResult& end = runEnd_;
    const std::string converterEnd = convertible_ == 0 && !plan_.display
                                         ? "converter not started"
                                         : "converter " + platform::DescribeProcessEnd(end);
    report.Line({plan_.mode, "run", summary_, converterEnd, Seconds(ctx_.clockStart)}, {});
    const bool reportWritten = report.Close();
    if (!reportWritten && ctx_.reportFailureSaid && !*ctx_.reportFailureSaid) {
        *ctx_.reportFailureSaid = true;
        ctx_.sink.ShowMsg(PathMessage(reportPath, "The run report cannot be written!"));
    }

    if (setAside_.Count() > 0) {
        ctx_.sink.ShowMsg(setAside_.Message(
            "drawing made the converter crash or hang and was set aside",
            "drawings made the converter crash or hang and were set aside",
            plan_.settlesInputs ? "they are in the Failed folder." : "see the run report."));
    } else if (gaveUp_ && end.end == platform::ProcessEnd::Crashed) {
        ctx_.sink.ShowMsg(PathMessage(
            ctx_.settings.sKorvaneExe,
            "Korvane program ended abnormally (" + platform::DescribeProcessEnd(end) + ")!"));
    }
    if (!counts_.AllDone() || !read) {
        exitCode_ = std::max(exitCode_, 1);
    }
    ctx_.host.ShowRunSummary(summary_);
}

bool ConversionRun::RecoverInterrupted(const std::string& journalPath, const RunContext& ctx,
                                       std::string* summary, const ClaimedInputs* claimed) {
    RunJournal::Interrupted found;
    if (!RunJournal::FindInterrupted(journalPath, found)) {
        return false;
    }
    RunReport report;
    const std::string reportPath = RunReport::PathIn(ctx.settings.sDataDir, ctx.rules);
    report.Open(reportPath);
    const std::string mode = found.header.mode + " recovered";
    RunCounts counts;
    std::vector<UnsettledInput> unsettled;
    std::vector<std::string> shownRoom;
    RunJournal::ReadAll(journalPath, [&](long long index, const JournalJob& job) {
        if (index < found.settled) {
            return;
        }
        const auto i = static_cast<std::size_t>(index);
        JobVerdict verdict{JobResult::NotRun, JobReason::Interrupted, 0};
        if (job.decided) {
            verdict = job.verdict;
        } else if (i < found.verdicts.size() && found.verdicts[i]) {
            verdict = *found.verdicts[i];
        }
        // An output taken away since is no proof any more.
        if (verdict.result == JobResult::Written && !OutputFresh(job)) {
            verdict = {JobResult::NotRun, JobReason::Interrupted, 0};
        }
        counts.Add(verdict.result);
        const char* fate = found.header.settlesInputs
                               ? InputFateText(Settle(job, verdict, claimed, ctx.rules, unsettled))
                               : "-";
        report.Line({mode, JobResultText(verdict.result), fate,
                     job.job.output.empty() ? std::string_view("-") : job.job.output},
                    ShownInputs(job, claimed, shownRoom),
                    JobReasonText(verdict, RuleText(verdict, ctx.settings.iCompFileSizeOver)),
                    true);
    });
    const std::string text = RunSummaryText(counts);
    report.Line({mode, "run", text, "converter not seen to end", "-"}, {});
    report.Close();
    // The journal ends here, so it is not taken up a second time.
    int error = 0;
    if (platform::FilePtr file = platform::OpenFile(journalPath, "ab", error)) {
        WriteLineCrLf(file.get(), "#F");
    }
    if (summary) {
        *summary = text;
    }
    return true;
}

}  // namespace ka
