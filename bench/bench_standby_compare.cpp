// Standby output and folder comparison over folders of 1,000 to 100,000 files, against the
// baseline of merely listing the folder and reading each file's time and size.
//
// The converter path names no program, so a cycle measures the program's own work: listing,
// snapshots, matching, record file. A converter that cannot start also means that nothing is
// deleted, so one set of folders serves every iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/RunModes.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

// Folders made once per size and removed when the program ends.
struct Fixture {
    fs::path root;
    std::string in1, in2, dataDir;
};

class Fixtures {
  public:
    ~Fixtures() {
        for (auto& [count, fixture] : made_) {
            std::error_code ec;
            fs::remove_all(fixture.root, ec);
        }
    }

    const Fixture& For(int count) {
        auto it = made_.find(count);
        if (it != made_.end()) {
            return it->second;
        }
        Fixture f;
        f.root = fs::temp_directory_path() / ("ka-bench-" + std::to_string(count));
        fs::remove_all(f.root);
        fs::create_directories(f.root / "in1");
        fs::create_directories(f.root / "in2");
        fs::create_directories(f.root / "Tavrolint" / "KorvaneAuto");
        f.in1 = (f.root / "in1").string() + "/";
        f.in2 = (f.root / "in2").string() + "/";
        f.dataDir = (f.root / "Tavrolint" / "KorvaneAuto").string();
        const std::string content(1000, 'x');
        for (int i = 0; i < count; ++i) {
            const std::string name = "drawing" + std::to_string(i) + ".hgl";
            for (const std::string& folder : {f.in1, f.in2}) {
                std::FILE* file = std::fopen((folder + name).c_str(), "wb");
                if (file != nullptr) {
                    std::fwrite(content.data(), 1, content.size(), file);
                    std::fclose(file);
                }
            }
        }
        return made_.emplace(count, std::move(f)).first->second;
    }

  private:
    std::map<int, Fixture> made_;
};

Fixtures& AllFixtures() {
    static Fixtures fixtures;
    return fixtures;
}

ka::Settings SettingsFor(const Fixture& f) {
    ka::Settings settings;
    settings.sDataDir = f.dataDir;
    settings.sComLineFile = f.dataDir + "/Korvaneline.txt";
    // A converter that dies at once: nothing is converted, so every input stays for the next
    // iteration, and the run's own work is what is measured.
    settings.sKorvaneExe = ka::test::ConverterExe();
    settings.sOutDir = (f.root / "out").string() + "/";
    settings.sAutoOutDirFName = f.in1 + "*.hgl";
    settings.sChgAreaDir1 = f.in1 + "*.hgl";
    settings.sChgAreaDir2 = f.in2;
    settings.iAutoWaitTime = 0;
    return settings;
}

void BM_ListAndStat(benchmark::State& state) {
    const Fixture& f = AllFixtures().For(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::uint64_t total = 0;
        ka::platform::FindEntries(f.in1 + "*.hgl", [&](const ka::platform::DirEntry& entry) {
            std::uint32_t time = 0;
            std::uint64_t size = 0;
            if (ka::platform::GetDosTimeAndSize(f.in1 + entry.name, time, size)) {
                total += size;
            }
            return true;
        });
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Start branch once, then every iteration is one processing branch (second snapshot,
// matching, work list, record file) followed by the next start branch (first snapshot).
// Only the converter's end may be reported.
bool OnlyConverterMessages(const std::vector<std::string>& messages) {
    return std::all_of(messages.begin(), messages.end(), [](const std::string& m) {
        return m.find("Korvane program ended abnormally") != std::string::npos;
    });
}

void BM_StandbyCycle(benchmark::State& state) {
    const ka::test::ScopedEnv quickDeath("KORVANE_STANDIN_CRASH", "1");
    const Fixture& f = AllFixtures().For(static_cast<int>(state.range(0)));
    ka::Settings settings = SettingsFor(f);
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    ka::test::RecordingRunHost host;
    ka::RunModes modes(flags, sink, host);
    ka::RunChoices choices;
    choices.settings = settings;
    modes.ButtonAutoOutputClick(choices);
    for (auto _ : state) {
        modes.StandbyTick();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    if (!OnlyConverterMessages(sink.messages) || !fs::exists(f.in1 + "drawing0.hgl")) {
        state.SkipWithError("the cycle reported an error or lost an input");
    }
}

// Every pair is same-named; rule 2 is on, so both files of every pair are examined.
void BM_FolderCompare(benchmark::State& state) {
    // A converter that ends at once, having written nothing: the run's own work is measured.
    // (One that crashes would be started again to find the drawing at fault.)
    const ka::test::ScopedEnv quickEnd("KORVANE_STANDIN_WRITE_ONLY", "0");
    const Fixture& f = AllFixtures().For(static_cast<int>(state.range(0)));
    ka::Settings settings = SettingsFor(f);
    settings.iChgArea = 1;
    settings.iCompSkipFlags = 2;
    ka::ProgramFlags flags;
    ka::test::RecordingMessageSink sink;
    ka::test::RecordingRunHost host;
    ka::RunModes modes(flags, sink, host);
    ka::RunChoices choices;
    choices.settings = settings;
    choices.compareChecked = true;
    std::size_t pairs = 0;
    for (auto _ : state) {
        pairs = modes.ButtonChgAreaClick(choices).size();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    if (!OnlyConverterMessages(sink.messages) ||
        pairs != static_cast<std::size_t>(state.range(0))) {
        state.SkipWithError("the comparison did not process every pair");
    }
}

BENCHMARK(BM_ListAndStat)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandbyCycle)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderCompare)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
