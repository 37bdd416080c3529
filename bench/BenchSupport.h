// What the benchmarks share: the batch list they run, the settings that run it, and the
// process's peak memory.
#pragma once

#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "app/RunModes.h"

namespace ka::bench {

// Job i of a benchmark list: a pair of drawings, as a list line names them.
inline std::string PairJob(long i) {
    char job[96];
    std::snprintf(job, sizeof job,
                  "/data/drawings/in/plan%07ld.hgl,/data/drawings/ref/plan%07ld.hgl", i, i);
    return job;
}

// A list of `lines` pair jobs, CR LF lines.
inline void WritePairList(const std::string& path, long lines) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (long i = 0; i < lines; ++i) {
        const std::string line = PairJob(i) + "\r\n";
        std::fwrite(line.data(), 1, line.size(), file);
    }
    std::fclose(file);
}

// A comparing batch run of the list into a folder that does not exist, by the stand-in
// converter (started with KORVANE_STANDIN_WRITE_ONLY=0 it ends at once, so the run's own work is
// what is measured).
inline ka::Settings BatchSettings(const std::string& list, const std::string& record) {
    ka::Settings settings;
    settings.sOutListFileName = list;
    settings.sComLineFile = record;
    settings.sKorvaneExe = ka::test::ConverterExe();
    settings.sOutDir = "/data/drawings/out/";
    settings.iOutTyp = 0;
    settings.iChgArea = 1;
    settings.iNoOut = 1;
    return settings;
}

inline long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace ka::bench
