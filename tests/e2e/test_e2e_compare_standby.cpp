// The real program started by another program for a folder comparison that ends by itself
// ("/h") and for standby output that keeps watching ("/b"), with the stand-in converter.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "KorvaneAutoRun.h"
#include "TestSupport.h"
#include "platform/platform.h"

namespace ka {
namespace {

using test::CrLfLines;

// The program as a child process, killed at the end of the test whatever happened.
class Program {
  public:
    explicit Program(std::vector<std::string> args)
        : process_(test::KorvaneAutoCommand(std::move(args))) {}
    bool Running() { return process_.Running(); }
    int ExitCode() const { return process_.ExitCode(); }

  private:
    test::ChildProcess process_;
};

bool WaitUntil(int seconds, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

class E2eCompareStandby : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const std::string& dir : {dataDir, outDir, dir1, dir2}) {
            test::MakeDir(dir);
        }
    }
    // Converter, output folder, waiting time; skip rule 2 at 30 %; with a list file, processed
    // pairs are saved to it.
    void WriteParFile(const std::string& waitSeconds, const std::string& savedList = "") {
        test::WriteFileBytes(JoinPath(dataDir, "KorvaneAuto.par"),
                             test::ParFileBytes({{"sOutListFileName", savedList},
                                                 {"sOutDir", WithTrailingSeparator(outDir)},
                                                 {"iAutoWaitTime", waitSeconds},
                                                 {"iSavBatch", savedList.empty() ? "0" : "1"},
                                                 {"iCompSkipFlags", "2"}}));
    }
    std::string In1(const std::string& name) const { return JoinPath(dir1, name); }
    std::string In2(const std::string& name) const { return JoinPath(dir2, name); }
    std::string Out(const std::string& name) const { return JoinPath(outDir, name); }

    test::TempDir tmp;
    const std::string dataHome = tmp / "data";
    const std::string dataDir = JoinPath(JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    const std::string outDir = tmp / "out", dir1 = tmp / "in 1", dir2 = tmp / "in2";
    test::ScopedEnv dataHomeEnv{test::DataHomeVariable(), dataHome};
    test::ScopedEnv qpa{"QT_QPA_PLATFORM", test::ProgramQtPlatform()};
    test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", tmp / "standin.log"};
};

TEST_F(E2eCompareStandby, CompareFromTheCommandLineEndsByItself) {
    WriteParFile("600");
    test::WriteFileBytes(In1("a.hgl"), "drawing a, first");
    test::WriteFileBytes(In2("a.hgl"), "drawing a, other");
    test::WriteFileBytes(In1("b.hgl"), "");
    test::WriteFileBytes(In2("b.hgl"), "short");

    Program program({"/h", JoinPath(dir1, "*.hgl"), dir2});
    ASSERT_TRUE(WaitUntil(60, [&] { return !program.Running(); })) << "did not end";
    EXPECT_EQ(program.ExitCode(), 0);

    EXPECT_EQ(test::ReadFileBytes(JoinPath(dataDir, "Korvaneline.txt")),
              CrLfLines({"/cp \"" + In1("a.hgl") + "\" \"" + In2("a.hgl") + "\" \"/o" +
                         Out("a.pdf") + "\""}));
    EXPECT_EQ(test::ReadFileBytes(
                  JoinPath(JoinPath(JoinPath(dataHome, "Tavrolint"), "Korvane"), "Compar2.log")),
              CrLfLines({"*2 Size of file1 or file2 is zero ; " + In1("b.hgl")}));
    EXPECT_TRUE(platform::FileExists(Out("a.pdf")));
    EXPECT_TRUE(platform::FileExists(In1("a.hgl")));  // a comparison alone deletes nothing
}

// The saved list holds the names' bytes, whatever the window could display of them.
TEST_F(E2eCompareStandby, SavedComparisonListKeepsNamesByteForByte) {
    const std::string list = tmp / "pairs.txt";
    WriteParFile("600", list);
    // Not UTF-8: Latin-1, or in code page 932 a character whose second byte is a backslash.
    const std::string name =
        platform::ActiveCodePage() == 932 ? std::string("\x83\x5C.hgl") : "caf\xE9.hgl";
    test::WriteFileBytes(In1(name), "drawing one");
    test::WriteFileBytes(In2(name), "drawing two");

    Program program({"/h", JoinPath(dir1, "*.hgl"), dir2});
    ASSERT_TRUE(WaitUntil(60, [&] { return !program.Running(); })) << "did not end";
    EXPECT_EQ(test::ReadFileBytes(list), CrLfLines({In1(name) + "," + In2(name)}));
}

TEST_F(E2eCompareStandby, StandbyFromTheCommandLineConvertsDeletesAndKeepsWatching) {
    WriteParFile("2");
    test::WriteFileBytes(In1("a.hgl"), "drawing a");
    test::WriteFileBytes(In1("b.hgl"), "drawing b");

    Program program({"/b", JoinPath(dir1, "*.hgl"), outDir});
    EXPECT_TRUE(WaitUntil(60, [&] {
        return !platform::FileExists(In1("a.hgl")) && !platform::FileExists(In1("b.hgl")) &&
               platform::FileExists(Out("a.pdf")) && platform::FileExists(Out("b.pdf"));
    })) << "inputs not converted and deleted in time";

    // Even with the closing switch standby output goes on watching, and takes a new file.
    test::WriteFileBytes(In1("c.hgl"), "drawing c");
    EXPECT_TRUE(WaitUntil(30, [&] { return platform::FileExists(Out("c.pdf")); }));
    EXPECT_TRUE(program.Running());
}

// A batch run started while a standby cycle's converter runs waits for the data folder: each
// converter gets its own jobs only, and the standby's input is converted before it goes. A
// second standby output on the same data folder is refused.
TEST_F(E2eCompareStandby, TwoCopiesOnOneDataFolderNeverMixTheirWork) {
    WriteParFile("2");
    test::ScopedEnv slow("KORVANE_STANDIN_SLEEP_MS", "3000");
    test::WriteFileBytes(In1("s.hgl"), "standby drawing");
    const std::string listed = tmp / "d.hgl";
    test::WriteFileBytes(listed, "batch drawing");
    const std::string list = tmp / "list.txt";
    test::WriteFileBytes(list, CrLfLines({listed}));
    const std::string log = tmp / "standin.log";

    Program standby({"/b", JoinPath(dir1, "*.hgl"), outDir});
    ASSERT_TRUE(WaitUntil(60, [&] { return !test::ReadLfLines(log).empty(); }))
        << "no standby cycle";
    // The standby cycle's converter runs now, under the data folder's lock.
    Program batch({"/d", "/op", list, outDir});
    Program second({"/b", JoinPath(dir1, "*.hgl"), outDir});
    ASSERT_TRUE(WaitUntil(60, [&] { return !batch.Running() && !second.Running(); }));
    EXPECT_EQ(batch.ExitCode(), 0);
    EXPECT_EQ(second.ExitCode(), 2);

    EXPECT_TRUE(platform::FileExists(Out("s.pdf")));
    EXPECT_TRUE(platform::FileExists(Out("d.pdf")));
    EXPECT_FALSE(platform::FileExists(In1("s.hgl")));
    EXPECT_TRUE(platform::FileExists(listed));
    std::vector<std::vector<std::string>> runs;  // record lines per converter start
    for (const std::string& line : test::ReadLfLines(log)) {
        if (line == "start") {
            runs.emplace_back();
        } else if (line.rfind("line ", 0) == 0 && !runs.empty()) {
            runs.back().push_back(line);
        }
    }
    ASSERT_EQ(runs.size(), 2u);
    ASSERT_EQ(runs[0].size(), 1u);
    EXPECT_NE(runs[0][0].find(In1("s.hgl")), std::string::npos);
    ASSERT_EQ(runs[1].size(), 1u);
    EXPECT_NE(runs[1][0].find(listed), std::string::npos);
    EXPECT_TRUE(standby.Running());
}

}  // namespace
}  // namespace ka
