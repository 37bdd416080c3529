// The real main window, offscreen, through a standby cycle, a comparison, a long batch run and a
// start-up, each against the least work the same files need, measured in the same process run.
// "ratio" is the window's CPU time over the limit's; "wall_ratio" the same for elapsed time.
//
//   KA_BENCH_FILES=N   files per folder for standby and comparison (default 100000)
//   KA_BENCH_LINES=N   lines of the batch list (default 1000000)
//   KA_BENCH_PROGRAM_LINES=N   lines of the list the program is started over (default 300000)
//   KA_BENCH_PROGRAM   the program whose start-up is measured (default: the one built here)
//   bench_window --benchmark_repetitions=3
//   bench_window --ka-peak-lines=N   one batch run in the window over N lines, then peak memory
//   bench_window --ka-first-paint    a bare Qt window that ends after its first paint
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "TestSupport.h"
#include "app/RunModes.h"
#include "gui/app/OrrinM.h"
#include "platform/platform.h"
#include "settings/DataFiles.h"
#include "settings/OutputTypes.h"

namespace {

namespace fs = std::filesystem;

long EnvCount(const char* name, long fallback) {
    const char* value = std::getenv(name);
    const long n = value ? std::atol(value) : 0;
    return n > 0 ? n : fallback;
}

long FileCount() {
    return EnvCount("KA_BENCH_FILES", 100000);
}

long LineCount() {
    return EnvCount("KA_BENCH_LINES", 1000000);
}

double Seconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double TimevalSeconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return TimevalSeconds(usage.ru_utime) + TimevalSeconds(usage.ru_stime);
}

// Of the CPU time, what the system spent on the process's calls (file work, mostly).
double SystemSeconds(bool children) {
    rusage usage{};
    getrusage(children ? RUSAGE_CHILDREN : RUSAGE_SELF, &usage);
    return TimevalSeconds(usage.ru_stime);
}

// CPU and elapsed time of one piece of work; children's CPU is counted for programs started.
struct Span {
    double cpu = 0;
    double system = 0;
    double wall = 0;
};

template <typename Work>
Span Measure(Work&& work, bool children = false) {
    const double cpu0 = children ? ChildrenCpuSeconds() : Seconds(CLOCK_PROCESS_CPUTIME_ID);
    const double system0 = SystemSeconds(children);
    const double wall0 = Seconds(CLOCK_MONOTONIC);
    work();
    Span span;
    span.wall = Seconds(CLOCK_MONOTONIC) - wall0;
    span.cpu = (children ? ChildrenCpuSeconds() : Seconds(CLOCK_PROCESS_CPUTIME_ID)) - cpu0;
    span.system = SystemSeconds(children) - system0;
    return span;
}

void Report(benchmark::State& state, const Span& program, const Span& limit) {
    state.SetIterationTime(program.wall);
    state.counters["program_cpu_ms"] = program.cpu * 1000.0;
    state.counters["limit_cpu_ms"] = limit.cpu * 1000.0;
    state.counters["program_sys_ms"] = program.system * 1000.0;
    state.counters["limit_sys_ms"] = limit.system * 1000.0;
    state.counters["ratio"] = limit.cpu > 0 ? program.cpu / limit.cpu : 0.0;
    state.counters["program_wall_ms"] = program.wall * 1000.0;
    state.counters["limit_wall_ms"] = limit.wall * 1000.0;
    state.counters["wall_ratio"] = limit.wall > 0 ? program.wall / limit.wall : 0.0;
}

// Folders of same-named files, made once and removed at exit.
struct Folders {
    ka::test::TempDir root;
    std::string in1 = root / "in1";
    std::string in2 = root / "in2";
    std::string data = root / "data";
    std::string out = root / "out";
    long count = 0;
};

// Filled at first use.
Folders& FilledFolders() {
    static Folders f;
    if (f.count > 0)
        return f;
    f.count = FileCount();
    for (const std::string& dir : {f.in1, f.in2, f.data, f.out})
        ka::test::MakeDir(dir);
    const std::string content(1000, 'x');
    for (long i = 0; i < f.count; ++i) {
        const std::string name = "/drawing" + std::to_string(i) + ".hgl";
        for (const std::string& dir : {f.in1, f.in2}) {
            const int fd = open((dir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                if (write(fd, content.data(), content.size()) < 0)
                    std::perror("write");
                close(fd);
            }
        }
    }
    return f;
}

// A window past its start-up, on screen, over the given settings.
struct Window {
    explicit Window(const ka::Settings& initial) : settings(initial) {
        form = std::make_unique<TOrrinMForm>(settings, flags, sink);
        flags.bStarted = true;
        form->show();
        QApplication::processEvents();
    }
    ka::Settings settings;
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    std::unique_ptr<TOrrinMForm> form;
};

ka::Settings FolderSettings(const Folders& f) {
    ka::Settings settings;
    settings.sDataDir = f.data;
    settings.sComLineFile = f.data + "/Korvaneline.txt";
    settings.sKorvaneExe = ka::test::ConverterExe();
    settings.sOutDir = f.out + "/";
    settings.sAutoOutDirFName = f.in1 + "/*.hgl";
    settings.sChgAreaDir1 = f.in1 + "/*.hgl";
    settings.sChgAreaDir2 = f.in2 + "/";
    settings.iAutoWaitTime = 0;
    return settings;
}

bool OnlyConverterMessages(const std::vector<std::string>& messages) {
    return std::all_of(messages.begin(), messages.end(), [](const std::string& m) {
        return m.find("Korvane program ended abnormally") != std::string::npos;
    });
}

// Lists a folder and stats every entry; with openEach, opens and closes every file as well.
long ListAndStat(const std::string& dir, bool openEach) {
    long total = 0;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return 0;
    const int fd = dirfd(d);
    while (const dirent* e = readdir(d)) {
        struct stat st {};
        if (e->d_name[0] == '.' || fstatat(fd, e->d_name, &st, 0) != 0)
            continue;
        total += st.st_size;
        if (openEach) {
            const int file = openat(fd, e->d_name, O_RDWR | O_CLOEXEC | O_NONBLOCK);
            if (file >= 0)
                close(file);
        }
    }
    closedir(d);
    return total;
}

// One cycle: the second snapshot, matching, hand-over to a converter that dies at once, the
// judging, and the first snapshot of the next waiting period. Inputs are kept.
void BM_WindowStandbyCycle(benchmark::State& state) {
    const ka::test::ScopedEnv quickDeath("KORVANE_STANDIN_CRASH", "1");
    Folders& f = FilledFolders();
    Window window(FolderSettings(f));
    window.form->ButtonAutoOutputClick();
    for (auto _ : state) {
        const Span limit = Measure([&] {
            for (int pass = 0; pass < 2; ++pass)
                benchmark::DoNotOptimize(ListAndStat(f.in1, true));
        });
        const Span program = Measure([&] { window.form->Timer1Timer(); });
        Report(state, program, limit);
    }
    window.form->ButtonAutoOutputClick();  // stops standby
    state.counters["files"] = static_cast<double>(f.count);
    if (!OnlyConverterMessages(window.sink.messages) || !fs::exists(f.in1 + "/drawing0.hgl") ||
        window.form->ListCount() != f.count) {
        state.SkipWithError("the cycle reported an error, lost an input or listed too few");
    }
}

// Every file of folder 1 has its pair in folder 2; no skip rule.
void BM_WindowCompare(benchmark::State& state) {
    // A converter that ends at once, having written nothing: the run's own work is measured.
    // (One that crashes would be started again to find the drawing at fault.)
    const ka::test::ScopedEnv quickEnd("KORVANE_STANDIN_WRITE_ONLY", "0");
    Folders& f = FilledFolders();
    Window window(FolderSettings(f));
    window.form->SetCompareBox(true);
    window.form->SelectOutTyp(kOutTypPdf);
    for (auto _ : state) {
        const Span limit = Measure([&] {
            benchmark::DoNotOptimize(ListAndStat(f.in1, false));
            benchmark::DoNotOptimize(ListAndStat(f.in2, false));
        });
        const Span program = Measure([&] { window.form->ButtonChgAreaClick(); });
        Report(state, program, limit);
    }
    state.counters["pairs"] = static_cast<double>(f.count);
    if (!OnlyConverterMessages(window.sink.messages) || window.form->ListCount() != f.count) {
        state.SkipWithError("the comparison did not list every pair");
    }
}

ka::Settings BatchSettings(const std::string& folder, long lines) {
    const std::string list = folder + "/list.txt";
    ka::bench::WritePairList(list, lines);
    ka::Settings settings = ka::bench::BatchSettings(list, folder + "/Korvaneline.txt");
    settings.sDataDir = folder;
    return settings;
}

// The record file's lines for the list as the run writes them, and each job's output.
struct BatchJobs {
    std::vector<std::string> record;
    std::vector<std::string> outputs;
};

BatchJobs JobsOf(const ka::Settings& settings, long lines) {
    ka::KorvaneLineInputs in;
    in.iChgArea = settings.iChgArea;
    in.iOutTyp = settings.iOutTyp;
    in.iNoOut = settings.iNoOut;
    in.sOutDir = settings.sOutDir;
    BatchJobs jobs;
    jobs.record.reserve(static_cast<std::size_t>(lines));
    jobs.outputs.reserve(static_cast<std::size_t>(lines));
    for (long i = 0; i < lines; ++i) {
        const std::string job = ka::bench::PairJob(i);
        jobs.record.push_back(ka::BuildKorvaneCommandLine(job, in) + "\r\n");
        jobs.outputs.push_back(ka::BuildKorvaneOutputPath(job, in));
    }
    return jobs;
}

// Reads the list and writes the same record file as the run. checkedReport not empty: per job
// also one look at its output and one report line, the least a run that tells each job's
// result can do.
void CopyListToRecord(const std::string& list, const BatchJobs& jobs, const std::string& record,
                      const std::string& checkedReport) {
    std::FILE* in = std::fopen(list.c_str(), "rb");
    std::FILE* out = std::fopen(record.c_str(), "wb");
    std::FILE* report = checkedReport.empty() ? nullptr : std::fopen(checkedReport.c_str(), "wb");
    char* line = nullptr;
    std::size_t size = 0;
    struct stat st {};
    for (std::size_t i = 0; getline(&line, &size, in) > 0 && i < jobs.record.size(); ++i) {
        std::fwrite(jobs.record[i].data(), 1, jobs.record[i].size(), out);
        if (report) {
            benchmark::DoNotOptimize(::stat(jobs.outputs[i].c_str(), &st));
            std::fprintf(report, "2026-01-01 00:00:00\tbatch\tnot run\t-\t%s\t%s",
                         jobs.outputs[i].c_str(), line);
        }
    }
    std::free(line);
    std::fclose(in);
    std::fclose(out);
    if (report) {
        std::fclose(report);
    }
}

// The whole list as a batch output, the window on screen and painted.
void BM_WindowBatch(benchmark::State& state) {
    // A converter that ends at once, having written nothing: the run's own work is measured.
    // (One that crashes would be started again to find the drawing at fault.)
    const ka::test::ScopedEnv quickEnd("KORVANE_STANDIN_WRITE_ONLY", "0");
    ka::test::TempDir folder;
    const long lines = LineCount();
    Window window(BatchSettings(folder.Path(), lines));
    // The limit writes the same bytes as the run.
    const BatchJobs jobs = JobsOf(window.settings, lines);
    const std::string& list = window.settings.sOutListFileName;
    const std::string limitRecord = folder / "limit.txt";
    const std::string checkedReport = folder / "checked-report.txt";
    for (auto _ : state) {
        const Span limit = Measure([&] { CopyListToRecord(list, jobs, limitRecord, ""); });
        const Span checked =
            Measure([&] { CopyListToRecord(list, jobs, limitRecord, checkedReport); });
        const Span program = Measure([&] { window.form->ButtonBatchOutputClick(); });
        Report(state, program, limit);
        state.counters["checked_limit_cpu_ms"] = checked.cpu * 1000.0;
        state.counters["checked_ratio"] = checked.cpu > 0 ? program.cpu / checked.cpu : 0.0;
    }
    state.counters["lines"] = static_cast<double>(lines);
    if (!OnlyConverterMessages(window.sink.messages) ||
        ka::test::ReadFileBytes(limitRecord) !=
            ka::test::ReadFileBytes(window.settings.sComLineFile)) {
        state.SkipWithError("the run did not write a record line per list line");
    }
}

std::string SelfPath() {
    return fs::read_symlink("/proc/self/exe").string();
}

// Starts a program and waits for its end; its exit code.
int RunChild(const std::vector<std::string>& args) {
    ka::test::ChildProcess child(args, "/dev/null");
    if (!child.Started() || !child.WaitFor(120))
        return -1;
    return child.ExitCode();
}

std::string ProgramPath() {
    const char* chosen = std::getenv("KA_BENCH_PROGRAM");
    return chosen ? chosen : ka::test::BuiltPath(KA_KORVANEAUTO_EXE);
}

// The program started for "/d" over an empty list until it has ended, against a bare Qt window
// that ends after its first paint.
void BM_StartupEmptyBatch(benchmark::State& state) {
    ka::test::TempDir tmp;
    const std::string dataHome = tmp / "home";
    const std::string dataDir = ka::JoinPath(ka::JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    ka::test::MakeDir(dataHome);
    ka::test::MakeDir(ka::JoinPath(dataHome, "Tavrolint"));
    ka::test::MakeDir(dataDir);
    const char* par[] = {
        "Version 10.11", "hgl;plt", "tif", "pdf", "emf", "dxf", "dwg", "igs", "gbr", "", "", "", "",
        "600",           "",        "",    "0",   "2",   "0",   "0",   "0",   "30",  "0"};
    std::vector<std::string> parLines(std::begin(par), std::end(par));
    parLines[9] = ka::test::ConverterExe();
    ka::test::WriteFileBytes(ka::JoinPath(dataDir, "KorvaneAuto.par"),
                             ka::test::CrLfLines(parLines));
    const std::string list = tmp / "empty.txt";
    ka::test::WriteFileBytes(list, "");
    const ka::test::ScopedEnv home(ka::test::DataHomeVariable(), dataHome);
    const ka::test::ScopedEnv qpa("QT_QPA_PLATFORM", "offscreen");
    const std::string program = ProgramPath();
    int programCode = 0;
    int limitCode = 0;
    for (auto _ : state) {
        const Span limit = Measure(
            [&] {
                limitCode = RunChild({SelfPath(), "--ka-first-paint"});
            },
            true);
        const Span run = Measure(
            [&] {
                programCode = RunChild({program, "/d", "/op", list});
            },
            true);
        Report(state, run, limit);
    }
    if (programCode != 0 || limitCode != 0)
        state.SkipWithError("the program or the bare window did not end with code 0");
}

// Reads the list and writes the record file the run writes. Each line is built here, in the
// timed part, since the program must build it too.
void BuildRecord(const std::string& list, const ka::KorvaneLineInputs& in,
                 const std::string& record) {
    std::FILE* listFile = std::fopen(list.c_str(), "rb");
    std::FILE* out = std::fopen(record.c_str(), "wb");
    char* line = nullptr;
    std::size_t size = 0;
    std::string job;
    std::string built;
    for (ssize_t n; (n = getline(&line, &size, listFile)) > 0;) {
        job.assign(line, static_cast<std::size_t>(n));
        while (!job.empty() && (job.back() == '\n' || job.back() == '\r'))
            job.pop_back();
        ka::BuildKorvaneCommandLine(job, in, built, nullptr);
        built += "\r\n";
        std::fwrite(built.data(), 1, built.size(), out);
    }
    std::free(line);
    std::fclose(listFile);
    std::fclose(out);
}

// The real program started as other programs start it ("/d /op <list> <outdir>"), from the
// start of its process to the start of the converter, against the least that work needs.
// startup_ms is the same program over an empty list to its end: the share of process start.
void BM_ProgramBatchToConverterStart(benchmark::State& state) {
    ka::test::TempDir tmp;
    const std::string dataHome = tmp / "home";
    const std::string dataDir = ka::JoinPath(ka::JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    ka::platform::CreateDirectoryPrivate(dataDir);
    ka::test::WriteFileBytes(ka::JoinPath(dataDir, ka::kParFileName), ka::test::ParFileBytes());
    const std::string outDir = tmp / "out";
    ka::test::MakeDir(outDir);
    const long lines = EnvCount("KA_BENCH_PROGRAM_LINES", 300000);
    const std::string list = tmp / "list.txt";
    std::FILE* listFile = std::fopen(list.c_str(), "wb");
    for (long i = 0; i < lines; ++i)
        std::fprintf(listFile, "/data/drawings/in/plan%07ld.hgl\r\n", i);
    std::fclose(listFile);
    const std::string emptyList = tmp / "empty.txt";
    ka::test::WriteFileBytes(emptyList, "");
    // What "/op" and the shipped parameter file make of each line.
    ka::KorvaneLineInputs in;
    in.iOutTyp = ka::kOutTypPdf;
    in.sOutDir = outDir + "/";
    const std::string started = tmp / "converter-started.txt";
    const std::string limitRecord = tmp / "limit.txt";
    const ka::test::ScopedEnv home(ka::test::DataHomeVariable(), dataHome);
    const ka::test::ScopedEnv qpa("QT_QPA_PLATFORM", ka::test::ProgramQtPlatform());
    const ka::test::ScopedEnv quickEnd("KORVANE_STANDIN_WRITE_ONLY", "0");
    const ka::test::ScopedEnv startNote("KORVANE_STANDIN_STARTED", started);
    const std::string program = ProgramPath();
    for (auto _ : state) {
        const Span limit = Measure([&] { BuildRecord(list, in, limitRecord); });
        int emptyCode = -1;
        const Span startup = Measure(
            [&] {
                emptyCode = RunChild({program, "/d", "/op", emptyList, outDir});
            },
            true);
        const std::string record = ka::JoinPath(dataDir, ka::kComLineFileName);
        for (const std::string& left :
             {started, record, ka::JoinPath(dataDir, ka::kJournalFileName)})
            fs::remove(left);
        const long long t0 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
        // No output is written, so the run ends with code 1.
        const int code = RunChild({program, "/d", "/op", list, outDir});
        if (emptyCode < 0 || emptyCode > 1 || code < 0 || code > 1 || !fs::exists(started)) {
            state.SkipWithError("the program ended with a code other than 0 or 1, or no converter");
            break;
        }
        if (!fs::exists(record) ||
            ka::test::ReadFileBytes(limitRecord) != ka::test::ReadFileBytes(record)) {
            state.SkipWithError("the program's record file differs from the limit's");
            break;
        }
        const double toConverter =
            static_cast<double>(std::stoll(ka::test::ReadFileBytes(started)) - t0) * 1e-9;
        state.SetIterationTime(toConverter);
        state.counters["to_converter_ms"] = toConverter * 1000.0;
        state.counters["limit_ms"] = limit.wall * 1000.0;
        state.counters["ratio"] = toConverter / limit.wall;
        state.counters["startup_ms"] = startup.wall * 1000.0;
        state.counters["ratio_without_startup"] = (toConverter - startup.wall) / limit.wall;
    }
    state.counters["lines"] = static_cast<double>(lines);
}

double Min(const std::vector<double>& v) {
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

// One run per repetition, timed by the benchmark itself; min beside median.
void OneRunEach(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseManualTime()->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_WindowStandbyCycle)->Apply(OneRunEach);
BENCHMARK(BM_WindowCompare)->Apply(OneRunEach);
BENCHMARK(BM_WindowBatch)->Apply(OneRunEach);
BENCHMARK(BM_StartupEmptyBatch)->Apply(OneRunEach);
BENCHMARK(BM_ProgramBatchToConverterStart)->Apply(OneRunEach)->Repetitions(3);

// Ends the program once the window has painted for the first time.
class FirstPaintQuit : public QWidget {
  protected:
    bool event(QEvent* e) override {
        const bool handled = QWidget::event(e);
        if (e->type() == QEvent::Paint)
            QCoreApplication::quit();
        return handled;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc == 2 && std::strcmp(argv[1], "--ka-first-paint") == 0) {
        QApplication app(argc, argv);
        FirstPaintQuit window;
        window.resize(1010, 597);
        window.show();
        return app.exec();
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const char* const peakFlag = "--ka-peak-lines=";
    if (argc == 2 && std::strncmp(argv[1], peakFlag, std::strlen(peakFlag)) == 0) {
        const long lines = std::atol(argv[1] + std::strlen(peakFlag));
        const ka::test::ScopedEnv quickEnd("KORVANE_STANDIN_WRITE_ONLY", "0");
        ka::test::TempDir folder;
        Window window(BatchSettings(folder.Path(), lines));
        const long before = ka::bench::PeakRssKiB();
        window.form->ButtonBatchOutputClick();
        std::printf("lines=%ld peak_rss_before_run_kib=%ld peak_rss_after_run_kib=%ld\n", lines,
                    before, ka::bench::PeakRssKiB());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
