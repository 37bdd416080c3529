// No drawing is deleted unless a whole converted copy of it exists: standby and batch runs with
// a converter that copies each input into its output (so every surviving copy is recognised) and
// fails in the ways real converters fail, over the names real hot folders get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "RunFixture.h"
#include "TestSupport.h"
#include "app/RunModes.h"
#include "app/RunResults.h"
#include "platform/platform.h"

namespace ka {
namespace {

// Result and reason of each job line, by the name of its first input; a later line wins.
std::map<std::string, std::pair<std::string, std::string>> JobsInReport(const std::string& path) {
    std::map<std::string, std::pair<std::string, std::string>> jobs;
    const std::string text = platform::FileExists(path) ? test::ReadFileBytes(path) : "";
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
         pos = end + 2) {
        std::vector<std::string> f;
        const std::string line = text.substr(pos, end - pos);
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        if (f.size() >= 7 && f[2] != "run" && f[2] != "left alone" && f[2] != "message") {
            jobs[NamePart(f[5])] = {f[2], f.back()};
        }
    }
    return jobs;
}

enum class Mode { Standby, Batch };

struct ProofRow {
    const char* what;
    Mode mode;
    std::vector<std::string> names;  // drawings in the hot folder (each with its own bytes)
    std::vector<std::pair<std::string, std::string>> env;  // the stand-in's faults
    // By drawing: the result and reason of its last report line; "" for a drawing never handed
    // over.
    std::map<std::string, std::pair<std::string, std::string>> expected;
    int exitCode;
    const char* wildcard = "*.hgl";
    const char* outFolder = "out";
    int cycles = 1;
    bool caseSensitiveNames = false;  // needs a file system that keeps "a.hgl" and "a.HGL" apart
    std::vector<int> successExitCodes = {0};
    int windowsExitCode = -1;  // where names that differ in case only are one file; -1: the same
};

void PrintTo(const ProofRow& row, std::ostream* os) {
    *os << row.what;
}

const std::pair<std::string, std::string> kWritten{"written", "-"};

class DeletionNeedsProof : public test::RunFixture, public ::testing::WithParamInterface<ProofRow> {
  protected:
    std::string In(const std::string& name) const { return JoinPath(inDir, name); }
    const std::string inDir = tmp / "in";
};

TEST_P(DeletionNeedsProof, EveryDrawingSurvivesSomewhere) {
    const ProofRow& row = GetParam();
    if (row.caseSensitiveNames && PathRules::Native().style == PathStyle::Windows) {
        GTEST_SKIP() << "these names are one file on Windows";
    }
    test::MakeDir(inDir);
    const std::string out = tmp / row.outFolder;
    test::MakeDir(out);
    settings.sOutDir = WithTrailingSeparator(out);
    settings.sAutoOutDirFName = JoinPath(inDir, row.wildcard);
    settings.iAutoWaitTime = 2;
    settings.run.successExitCodes = row.successExitCodes;
    std::vector<std::unique_ptr<test::ScopedEnv>> env;
    env.push_back(std::make_unique<test::ScopedEnv>("KORVANE_STANDIN_COPY", "1"));
    for (const auto& [name, value] : row.env) {
        env.push_back(std::make_unique<test::ScopedEnv>(name, value));
    }
    // Each drawing's bytes are its own, so a copy anywhere can be told to be its conversion.
    std::map<std::string, std::string> bytes;
    for (const std::string& name : row.names) {
        bytes[name] = "drawing <" + name + ">";
        test::WriteFileBytes(In(name), bytes[name]);
    }

    window.settings = settings;
    if (row.mode == Mode::Batch) {
        settings.sOutListFileName = tmp / "list.txt";
        std::vector<std::string> lines;
        for (const std::string& name : row.names) {
            lines.push_back(In(name));
        }
        test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines(lines));
        window.settings = settings;
        modes.ButtonBatchOutputClick(window);
    } else {
        modes.ButtonAutoOutputClick(window);
        for (int cycle = 0; cycle < row.cycles; ++cycle) {
            modes.StandbyTick();  // the countdown
            modes.StandbyTick();  // the cycle
        }
        modes.StopStandby();
    }

    // Every drawing is in place, in Failed, or gone with a whole copy of it in the output folder.
    std::vector<std::string> outputs;
    platform::FindEntries(JoinPath(out, "*"), [&](const platform::DirEntry& e) {
        if (!e.isDirectory) {
            outputs.push_back(test::ReadFileBytes(JoinPath(out, e.name)));
        }
        return true;
    });
    for (const auto& [name, content] : bytes) {
        const std::string failed = JoinPath(JoinPath(inDir, kFailedFolderName), name);
        const bool inPlace =
            platform::FileExists(In(name)) && test::ReadFileBytes(In(name)) == content;
        const bool inFailed =
            platform::FileExists(failed) && test::ReadFileBytes(failed) == content;
        const bool converted = std::find(outputs.begin(), outputs.end(), content) != outputs.end();
        EXPECT_TRUE(inPlace || inFailed || converted) << row.what << ": " << name << " is lost";
    }
    const auto jobs = JobsInReport(RunReport::PathIn(dataDir));
    for (const auto& [name, expected] : row.expected) {
        const auto found = jobs.find(name);
        if (expected.first.empty()) {
            EXPECT_EQ(found, jobs.end()) << row.what << ": " << name;
            continue;
        }
        ASSERT_NE(found, jobs.end()) << row.what << ": " << name;
        EXPECT_EQ(found->second, expected) << row.what << ": " << name;
    }
    const bool windows = PathRules::Native().style == PathStyle::Windows;
    EXPECT_EQ(modes.ExitCode(),
              windows && row.windowsExitCode >= 0 ? row.windowsExitCode : row.exitCode)
        << row.what;
}

const ProofRow kProofRows[] = {
    {"empty output",
     Mode::Standby,
     {"a.hgl", "b.hgl"},
     {{"KORVANE_STANDIN_OUTPUT", "empty"}, {"KORVANE_STANDIN_ON", "b.hgl"}},
     {{"a.hgl", kWritten}, {"b.hgl", {"no output", "empty output"}}},
     1},
    {"empty output in batch",
     Mode::Batch,
     {"b.hgl"},
     {{"KORVANE_STANDIN_OUTPUT", "empty"}},
     {{"b.hgl", {"no output", "empty output"}}},
     1},
    {"half written, exit code 1",
     Mode::Standby,
     {"a.hgl"},
     {{"KORVANE_STANDIN_OUTPUT", "half"}, {"KORVANE_STANDIN_EXIT", "1"}},
     {{"a.hgl", {"doubtful", "converter exit code 1"}}},
     1},
    {"exit code 3 is failure",
     Mode::Standby,
     {"a.hgl"},
     {{"KORVANE_STANDIN_EXIT", "3"}},
     {{"a.hgl", {"doubtful", "converter exit code 3"}}},
     1},
    {"exit code 3 means success here",
     Mode::Standby,
     {"a.hgl"},
     {{"KORVANE_STANDIN_EXIT", "3"}},
     {{"a.hgl", kWritten}},
     0,
     "*.hgl",
     "out",
     1,
     false,
     {0, 3}},
    // The converter's exit code speaks for its whole start.
    {"one failing drawing",
     Mode::Batch,
     {"a.hgl", "bad.hgl"},
     {{"KORVANE_STANDIN_FAIL_ON", "bad"}},
     {{"a.hgl", {"doubtful", "converter exit code 1"}},
      {"bad.hgl", {"no output", "converter exit code 1"}}},
     1},
    {"two drawings, one output: a.hgl and a.plt",
     Mode::Standby,
     {"a.hgl", "a.plt"},
     {},
     {{"a.hgl", kWritten}, {"a.plt", {"written", "-"}}},
     1,
     "*.*",
     "out",
     2},
    // Two outputs here, one on Windows: there the second waits a cycle for a numbered name.
    {"A.hgl and a.plt",
     Mode::Standby,
     {"A.hgl", "a.plt"},
     {},
     {{"A.hgl", kWritten}, {"a.plt", kWritten}},
     0,
     "*.*",
     "out",
     2,
     false,
     {0},
     1},
    {"two drawings, one output: a.hgl and a.HGL",
     Mode::Standby,
     {"a.hgl", "a.HGL"},
     {},
     {{"a.hgl", kWritten}, {"a.HGL", kWritten}},
     1,
     "*.hgl",
     "out",
     2,
     true},
    {"trailing blank",
     Mode::Standby,
     {"b.hgl", "b.hgl "},
     {},
     {{"b.hgl", kWritten}, {"b.hgl ", kWritten}},
     1,
     "*",
     "out",
     2,
     true},
    {"two drawings, one output in batch",
     Mode::Batch,
     {"a.hgl", "a.plt"},
     {},
     {{"a.hgl", kWritten}, {"a.plt", {"not run", "output name taken by another job"}}},
     1},
    {"no extension, dotted output folder",
     Mode::Standby,
     {"n1", "n2"},
     {},
     {{"n1", kWritten}, {"n2", kWritten}},
     0,
     "*",
     "plots.out"},
    {"a page-split name of another job",
     Mode::Standby,
     {"a.hgl", "a_1.hgl"},
     {{"KORVANE_STANDIN_FAIL_ON", "a.hgl"}, {"KORVANE_STANDIN_EXIT", "0"}},
     {{"a.hgl", {"no output", "output not written"}}, {"a_1.hgl", kWritten}},
     1},
};

std::string ProofRowName(const ::testing::TestParamInfo<ProofRow>& info) {
    std::string name;
    for (const char c : std::string(info.param.what)) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += c;
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, DeletionNeedsProof, ::testing::ValuesIn(kProofRows), ProofRowName);

// Standby that would convert into nowhere, or take its own outputs, does not start; inputs stay.
TEST_F(DeletionNeedsProof, StandbyWithoutAUsableOutputFolderDoesNotStart) {
    test::MakeDir(inDir);
    test::WriteFileBytes(In("a.pdf"), "only copy");
    struct Row {
        const char* what;
        std::string outDir;
        const char* wildcard;
        const char* message;
    };
    for (const Row& row : {
             Row{"no output folder", "", "*.pdf", "No output folder is set"},
             Row{"a missing one", WithTrailingSeparator(tmp / "gone"), "*.pdf",
                 "The output folder does not exist!"},
             Row{"PDF in and out of the hot folder", WithTrailingSeparator(inDir), "*.pdf",
                 "standby would convert its own outputs again"},
             Row{"every name of the hot folder", WithTrailingSeparator(inDir), "*.*",
                 "standby would convert its own outputs again"},
         }) {
        sink.messages.clear();
        settings.sOutDir = row.outDir;
        settings.sAutoOutDirFName = JoinPath(inDir, row.wildcard);
        window.settings = settings;
        flags.bAutoClose = true;
        RunModes standby(flags, sink, host);
        standby.ButtonAutoOutputClick(window);
        EXPECT_EQ(standby.Standby().phase, StandbyPhase::Idle) << row.what;
        EXPECT_EQ(standby.ExitCode(), 2) << row.what;
        ASSERT_EQ(sink.messages.size(), 1u) << row.what;
        EXPECT_NE(sink.messages[0].find(row.message), std::string::npos) << sink.messages[0];
    }
    EXPECT_EQ(test::ReadFileBytes(In("a.pdf")), "only copy");
    EXPECT_EQ(Starts(), 0);

    // An output folder that goes away while standby runs (a network drive): nothing is
    // converted or moved, it is said once, and the files are taken once it is back.
    settings.sAutoOutDirFName = JoinPath(inDir, "*.pdf");
    const std::string drive = tmp / "drive";
    test::MakeDir(drive);
    settings.sOutDir = WithTrailingSeparator(drive);
    settings.iAutoWaitTime = 2;
    settings.iOutTyp = 1;  // TIFF
    window.settings = settings;
    test::ScopedEnv copy("KORVANE_STANDIN_COPY", "1");
    sink.messages.clear();
    modes.ButtonAutoOutputClick(window);
    std::filesystem::remove(drive);
    for (int tick = 0; tick < 6; ++tick) {
        modes.StandbyTick();
    }
    EXPECT_EQ(test::ReadFileBytes(In("a.pdf")), "only copy");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].find("The output folder is gone"), std::string::npos);
    test::MakeDir(drive);
    modes.StandbyTick();
    modes.StandbyTick();
    modes.StopStandby();
    EXPECT_FALSE(platform::FileExists(In("a.pdf")));
    EXPECT_EQ(test::ReadFileBytes(JoinPath(drive, "a.tif")), "only copy");
}

// A batch job whose output would be its own input is never handed over.
TEST_F(DeletionNeedsProof, AnOutputThatWouldReplaceItsInputIsRefused) {
    test::ScopedEnv copy("KORVANE_STANDIN_COPY", "1");
    test::MakeDir(inDir);
    test::WriteFileBytes(In("a.pdf"), "only copy");
    test::WriteFileBytes(In("b.hgl"), "b");
    settings.sOutDir = WithTrailingSeparator(inDir);
    settings.sOutListFileName = tmp / "list.txt";
    test::WriteFileBytes(settings.sOutListFileName, test::CrLfLines({In("a.pdf"), In("b.hgl")}));
    window.settings = settings;
    modes.ButtonBatchOutputClick(window);
    EXPECT_EQ(test::ReadFileBytes(In("a.pdf")), "only copy");
    EXPECT_EQ(test::ReadFileBytes(In("b.pdf")), "b");
    const auto jobs = JobsInReport(RunReport::PathIn(dataDir));
    EXPECT_EQ(jobs.at("a.pdf"), std::make_pair(std::string("not run"),
                                               std::string("output would replace its input")));
    EXPECT_EQ(modes.ExitCode(), 1);
}

// Standby takes regular files only: a link in the hot folder is left alone and said once (its
// target, any file this user can read, is never converted), and a "Failed" that is a link is
// never followed: the failing drawing stays.
TEST_F(DeletionNeedsProof, LinksAreNeverFollowed) {
    if (PathRules::Native().style == PathStyle::Windows) {
        GTEST_SKIP() << "no symbolic links here";
    }
    test::ScopedEnv fail("KORVANE_STANDIN_FAIL_ON", "bad");
    test::MakeDir(inDir);
    const std::string secret = tmp / "secret.txt";
    const std::string elsewhere = tmp / "elsewhere";
    test::MakeDir(elsewhere);
    test::WriteFileBytes(secret, "another user's file");
    std::filesystem::create_symlink(secret, In("link.hgl"));
    std::filesystem::create_directory_symlink(elsewhere, JoinPath(inDir, kFailedFolderName));
    test::WriteFileBytes(In("bad.hgl"), "fails");
    settings.sAutoOutDirFName = JoinPath(inDir, "*.hgl");
    settings.iAutoWaitTime = 2;
    window.settings = settings;
    modes.ButtonAutoOutputClick(window);
    for (int tick = 0; tick < 6; ++tick) {
        modes.StandbyTick();
    }
    modes.StopStandby();
    EXPECT_TRUE(std::filesystem::is_symlink(In("link.hgl")));
    EXPECT_FALSE(platform::FileExists(JoinPath(outDir, "link.pdf")));
    EXPECT_EQ(test::ReadFileBytes(In("bad.hgl")), "fails");
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    EXPECT_EQ(Starts(), 1);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_NE(sink.messages[0].find("symbolic link was left in place"), std::string::npos);
    EXPECT_NE(sink.messages[1].find("could not be deleted or moved to Failed"), std::string::npos);
    const std::string report = test::ReadFileBytes(RunReport::PathIn(dataDir));
    EXPECT_NE(report.find("\tleft alone\tsymbolic link\t" + In("link.hgl") + "\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace ka
