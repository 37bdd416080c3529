// The real program started by another program for an unattended batch output ("/d"): it must
// convert the list with the stand-in converter, save its settings and end by itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"

namespace ka {
namespace {

using test::CrLfLines;

constexpr int kTimeoutSeconds = 60;

struct Finished {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
};

// Runs the program with the given arguments; kills it when it has not ended in time.
Finished RunProgram(const std::vector<std::string>& args) {
    std::vector<std::string> all{test::BuiltPath(KA_KORVANEAUTO_EXE)};
    all.insert(all.end(), args.begin(), args.end());
    test::ChildProcess program(all);
    Finished result;
    result.started = program.Started();
    result.timedOut = result.started && !program.WaitFor(kTimeoutSeconds);
    result.exitCode = program.ExitCode();
    return result;
}

// A parameter file as the program keeps it, naming the stand-in converter; no list, no folder.
std::string ParFile(const std::string& converter) {
    return CrLfLines({"Version 10.11",
                      "hgl;plt",
                      "tif",
                      "pdf",
                      "emf",
                      "dxf",
                      "dwg",
                      "igs",
                      "gbr",
                      converter,
                      "",
                      "",
                      "",
                      "600",
                      "",
                      "",
                      "0",
                      "2",
                      "0",
                      "0",
                      "0",
                      "30",
                      "0"});
}

struct E2eCase {
    const char* name;
    const char* inFolder;  // UTF-8; in code page 932 "ソ" ends in the byte 0x5C
    const char* typeSwitch;
    bool pairs;
    const char* expectedSwitch;
    const char* ext;
    const char* chgAreaLine;  // stored at exit
    const char* outTypLine;
};

void PrintTo(const E2eCase& c, std::ostream* os) {
    *os << c.name;
}

class E2eBatch : public ::testing::TestWithParam<E2eCase> {
  protected:
    test::TempDir tmp;
    const std::string dataHome = tmp / "data";
    const std::string dataDir = JoinPath(JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    const std::string log = tmp / "standin.log";
    test::ScopedEnv dataHomeEnv{test::DataHomeVariable(), dataHome};
    test::ScopedEnv qpa{"QT_QPA_PLATFORM", test::ProgramQtPlatform()};
    test::ScopedEnv standinLog{"KORVANE_STANDIN_LOG", log};
};

TEST_P(E2eBatch, ConvertsTheListAndEndsByItself) {
    const E2eCase& c = GetParam();
    const std::string inFolder = platform::Utf8ToSystem(c.inFolder);
    if (inFolder != c.inFolder && platform::ActiveCodePage() != 932) {
        GTEST_SKIP() << "the folder name needs code page 932";
    }
    test::MakeDir(dataDir);
    const std::string parFile = JoinPath(dataDir, "KorvaneAuto.par");
    test::WriteFileBytes(parFile, ParFile(test::ConverterExe()));

    const std::string inDir = tmp / inFolder;
    const std::string outDir = tmp / "out";
    const std::string refDir = tmp / "ref";
    test::MakeDir(inDir);
    test::MakeDir(outDir);
    test::MakeDir(refDir);
    std::vector<std::string> jobs;
    std::vector<std::string> expectedRecord;
    std::vector<std::string> outputs;
    for (const char* name : {"plan1", "plan 2", "plan3"}) {
        const std::string in = JoinPath(inDir, std::string(name) + ".hgl");
        test::WriteFileBytes(in, std::string("drawing ") + name);
        std::string job = in;
        std::string quoted = "\"" + in + "\"";
        if (c.pairs) {
            const std::string ref = JoinPath(refDir, std::string(name) + ".hgl");
            test::WriteFileBytes(ref, std::string("reference ") + name);
            job += "," + ref;
            quoted += " \"" + ref + "\"";
        }
        const std::string out = JoinPath(outDir, std::string(name) + c.ext);
        jobs.push_back(job);
        outputs.push_back(out);
        expectedRecord.push_back(std::string(c.expectedSwitch) + " " + quoted + " \"/o" + out +
                                 "\"");
    }
    const std::string list = tmp / "batch list.txt";
    test::WriteFileBytes(list, CrLfLines(jobs));

    const Finished run = RunProgram({"/d", c.typeSwitch, list, outDir});
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut) << "the program did not end within " << kTimeoutSeconds << " s";
    EXPECT_EQ(run.exitCode, 0);

    const std::string recordFile = JoinPath(dataDir, "Korvaneline.txt");
    EXPECT_EQ(test::ReadFileBytes(recordFile), CrLfLines(expectedRecord));

    const std::vector<std::string> logLines = test::ReadLfLines(log);
    std::vector<std::string> starts;
    for (std::size_t i = 0; i + 1 < logLines.size(); ++i) {
        if (logLines[i] == "start") {
            starts.push_back(logLines[i + 1]);
        }
    }
    EXPECT_EQ(starts, std::vector<std::string>{"argv 1 /z"});
    for (const auto& out : outputs) {
        EXPECT_TRUE(platform::FileExists(out)) << out;
    }

    // Values from the command line are ordinary settings: saved at the end.
    std::vector<std::string> par;
    {
        const std::string bytes = test::ReadFileBytes(parFile);
        std::size_t start = 0;
        for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            par.push_back(bytes.substr(start, end - start));
        }
    }
    ASSERT_EQ(par.size(), 23u);
    EXPECT_EQ(par[0], "Version 10.11");
    EXPECT_EQ(par[9], test::ConverterExe());
    EXPECT_EQ(par[10], list);
    EXPECT_EQ(par[12], WithTrailingSeparator(outDir));
    EXPECT_EQ(par[16], c.chgAreaLine);
    EXPECT_EQ(par[17], c.outTypLine);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, E2eBatch,
    ::testing::Values(E2eCase{"Pdf", "in drawings", "/op", false, "/p", ".pdf", "0", "0"},
                      E2eCase{"ComparePng", "in drawings", "/ocm", true, "/cm", ".png", "1", "15"},
                      E2eCase{"Cp932Folder", "図面ソ", "/op", false, "/p", ".pdf", "0", "0"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace ka
