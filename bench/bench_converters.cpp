// Throughput of several converters at once: the real run engine over real drawings, the stand-in
// converter costing each job CPU time or a wait. Each case runs the same list with one converter
// and with several in the same process and reports the wall-time ratio, and checks from the
// stand-in's log that every drawing was converted exactly once.
//
//   bench_converters                                  every case (about two minutes)
//   bench_converters --benchmark_filter=Cpu           one of them
//
// Counters: one_ms and many_ms (wall time with one converter and with several), speedup (their
// ratio), ideal (the speed-up if the converters were never idle), of_ideal (speedup / ideal),
// each_once (1 when every job was converted exactly once in both runs).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/RunModes.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
    int jobs;
    const char* costVariable;  // KORVANE_STANDIN_CPU_MS or KORVANE_STANDIN_JOB_MS
    int costMs;
    int converters;
    bool unequal;  // the last tenth of the list costs ten times as much
};

// One run of the list with the given converters; its wall time, and whether each job was
// converted exactly once.
struct Timed {
    double ms = 0;
    bool eachOnce = false;
};

Timed RunList(const Case& c, int converters) {
    ka::test::TempDir tmp;
    const std::string in = tmp / "in";
    const std::string out = tmp / "out";
    const std::string data = tmp / "data";
    for (const std::string& dir : {in, out, data}) {
        ka::test::MakeDir(dir);
    }
    std::vector<std::string> lines;
    for (int i = 0; i < c.jobs; ++i) {
        const bool slow = c.unequal && i >= c.jobs - c.jobs / 10;
        const std::string path =
            ka::JoinPath(in, (slow ? "slow" : "plan") + std::to_string(i) + ".hgl");
        ka::test::WriteFileBytes(path, "IN;SP1;PD100,100;");
        lines.push_back(path);
    }
    const std::string list = tmp / "list.txt";
    ka::test::WriteFileBytes(list, ka::test::CrLfLines(lines));
    const std::string log = tmp / "standin.log";
    const ka::test::ScopedEnv logEnv("KORVANE_STANDIN_LOG", log);
    const ka::test::ScopedEnv cost(c.costVariable, std::to_string(c.costMs));
    const ka::test::ScopedEnv slow("KORVANE_STANDIN_SLOW_ON", c.unequal ? "slow" : "");

    ka::RunChoices choices;
    ka::Settings& s = choices.settings;
    s.sDataDir = data;
    s.sComLineFile = ka::JoinPath(data, "Korvaneline.txt");
    s.sKorvaneExe = ka::test::ConverterExe();
    s.sOutListFileName = list;
    s.sOutDir = ka::WithTrailingSeparator(out);
    s.run.converters = converters;
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    ka::test::RecordingRunHost host;
    ka::RunModes modes(flags, sink, host);
    const Clock::time_point start = Clock::now();
    modes.ButtonBatchOutputClick(choices);
    Timed timed;
    timed.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

    std::map<std::string, int> converted;
    for (const std::string& line : ka::test::ReadLfLines(log)) {
        if (line.rfind("output ", 0) == 0) {
            ++converted[line.substr(7)];
        }
    }
    timed.eachOnce = static_cast<int>(converted.size()) == c.jobs && modes.ExitCode() == 0;
    for (const auto& [output, times] : converted) {
        timed.eachOnce = timed.eachOnce && times == 1;
    }
    return timed;
}

void BM_Converters(benchmark::State& state, Case c) {
    for (auto _ : state) {
        const Timed one = RunList(c, 1);
        const Timed many = RunList(c, c.converters);
        state.SetIterationTime(many.ms / 1000.0);
        // CPU-bound jobs cannot go faster than the machine's cores allow.
        const double cores =
            std::string(c.costVariable) == "KORVANE_STANDIN_CPU_MS"
                ? std::min<double>(c.converters, benchmark::CPUInfo::Get().num_cpus)
                : c.converters;
        const double speedup = many.ms > 0 ? one.ms / many.ms : 0;
        state.counters["one_ms"] = one.ms;
        state.counters["many_ms"] = many.ms;
        state.counters["speedup"] = speedup;
        state.counters["ideal"] = cores;
        state.counters["of_ideal"] = speedup / cores;
        state.counters["each_once"] = one.eachOnce && many.eachOnce ? 1 : 0;
        if (!one.eachOnce || !many.eachOnce) {
            state.SkipWithError("a job was not converted exactly once");
        }
    }
}

BENCHMARK_CAPTURE(BM_Converters, Cpu50msTwo, Case{200, "KORVANE_STANDIN_CPU_MS", 50, 2, false})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Converters, Wait100msEight, Case{400, "KORVANE_STANDIN_JOB_MS", 100, 8, false})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Converters, UnequalCpuTwo, Case{200, "KORVANE_STANDIN_CPU_MS", 50, 2, true})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
