// Batch output over long batch lists: list reading, argument strings and the record file. The
// converter ends at once having written nothing, so its one start is not measured.
//
//   bench_batch                         the benchmarks
//   bench_batch --ka-peak-lines=N       one run over N lines, then the process's peak memory
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "TestSupport.h"
#include "app/RunModes.h"

namespace {

namespace fs = std::filesystem;

// A folder for the lists and record files, removed at exit.
ka::test::TempDir& Folder() {
    static ka::test::TempDir folder;
    return folder;
}

// A list of comparison pairs, CR LF lines, created once per length.
std::string ListFile(long lines) {
    const std::string path = Folder() / ("list-" + std::to_string(lines) + ".txt");
    if (fs::exists(path)) {
        return path;
    }
    ka::bench::WritePairList(path, lines);
    return path;
}

ka::Settings BatchSettings(long lines) {
    return ka::bench::BatchSettings(ListFile(lines),
                                    Folder() / ("Korvaneline-" + std::to_string(lines) + ".txt"));
}

void RunBatchOnce(ka::Settings& settings) {
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    ka::test::RecordingRunHost host;
    ka::RunModes modes(flags, sink, host, ka::PathRules::Posix());
    ka::RunChoices choices;
    choices.settings = settings;
    modes.ButtonBatchOutputClick(choices);
}

void BM_BatchRun(benchmark::State& state) {
    // A converter that ends at once, having written nothing: the run's own work is measured.
    // (One that crashes would be started again to find the drawing at fault.)
    const ka::test::ScopedEnv quickEnd("KORVANE_STANDIN_WRITE_ONLY", "0");
    ka::Settings settings = BatchSettings(state.range(0));
    for (auto _ : state) {
        RunBatchOnce(settings);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(settings.sOutListFileName)));
}
BENCHMARK(BM_BatchRun)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_BuildKorvaneCommandLine(benchmark::State& state) {
    ka::KorvaneLineInputs in;
    in.iChgArea = 1;
    in.iOutTyp = 0;
    in.iNoOut = 1;
    in.sOutDir = R"(D:\Drawings\Out\)";
    in.rules = ka::PathRules::Windows(932);
    const std::string job = R"(C:\Drawings\In\plan0001234.hgl,C:\Drawings\Ref\plan0001234.hgl)";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ka::BuildKorvaneCommandLine(job, in));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildKorvaneCommandLine);

}  // namespace

int main(int argc, char** argv) {
    const char* const peakFlag = "--ka-peak-lines=";
    if (argc == 2 && std::strncmp(argv[1], peakFlag, std::strlen(peakFlag)) == 0) {
        const long lines = std::atol(argv[1] + std::strlen(peakFlag));
        ka::Settings settings = BatchSettings(lines);
        const long before = ka::bench::PeakRssKiB();
        RunBatchOnce(settings);
        std::printf(
            "lines=%ld list_bytes=%llu record_bytes=%llu peak_rss_before_run_kib=%ld "
            "peak_rss_after_run_kib=%ld\n",
            lines, static_cast<unsigned long long>(fs::file_size(settings.sOutListFileName)),
            static_cast<unsigned long long>(fs::file_size(settings.sComLineFile)), before,
            ka::bench::PeakRssKiB());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
