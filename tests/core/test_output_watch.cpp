// Following the outputs of a running conversion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/OutputWatch.h"
#include "platform/platform.h"

namespace ka {
namespace {

TEST(OutputWatch, SeesJobsInOrderAFewPerCallAndOnlyFreshOutputs) {
    test::TempDir tmp;
    const auto job = [&](const std::string& name) {
        return "/p \"" + (tmp / "in.hgl") + "\" \"/o" + (tmp / name) + "\"";
    };
    // Written before the run, split by page, an empty line (no job), fresh, missing, fresh.
    test::WriteFileBytes(tmp / "old.pdf", "old");
    test::SetModificationTime(tmp / "old.pdf", 1'000'000'000);
    const std::int64_t runStart = platform::NowForFileTimes() - 1'000'000'000LL;
    test::WriteFileBytes(tmp / "paged_1.pdf", "page 1");
    test::WriteFileBytes(tmp / "fresh.pdf", "x");
    test::WriteFileBytes(tmp / "later.pdf", "x");
    const std::string record = tmp / "record.txt";
    test::WriteFileBytes(record, test::CrLfLines({job("paged.pdf"), "", job("fresh.pdf"),
                                                  job("old.pdf"), job("later.pdf")}));
    EXPECT_EQ(JobOutputPath(job("fresh.pdf")), tmp / "fresh.pdf");

    test::RecordingRunHost host;
    RunProgress progress;
    OutputWatch watch(record, 10, runStart);
    watch.Check(1, host, progress);
    EXPECT_EQ(progress.done, 1);
    watch.Check(100, host, progress);  // stops at the job whose output is older than the run
    EXPECT_EQ(progress.done, 2);
    using Mark = std::pair<long long, JobResult>;
    EXPECT_EQ(host.marks, (std::vector<Mark>{{10, JobResult::Written}, {12, JobResult::Written}}));
}

}  // namespace
}  // namespace ka
