// The real program started by another program for an unattended batch output ("/d"): it must
// convert the list with the stand-in converter, save its settings and end by itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KorvaneAutoRun.h"
#include "TestSupport.h"
#include "platform/platform.h"

namespace ka {
namespace {

using test::CrLfLines;

constexpr int kTimeoutSeconds = 60;

// Runs the program; kills it when it has not ended in time. With an output file, standard output
// and error go there.
test::ProgramRun RunProgram(const std::vector<std::string>& args,
                            const std::string& outputFile = "") {
    test::RunOptions options;
    options.outputFile = outputFile;
    options.limitSeconds = kTimeoutSeconds;
    return test::RunKorvaneAuto(args, options);
}

// A parameter file naming the converter, output type DXF and the output folder; no list.
std::string ParFile(const std::string& converter, const std::string& outDir = "") {
    return test::ParFileBytes({{"sKorvaneExe", converter}, {"iOutTyp", "2"}, {"sOutDir", outDir}});
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

    const test::ProgramRun run = RunProgram({"/d", c.typeSwitch, list, outDir});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.ended) << "the program did not end within " << kTimeoutSeconds << " s";
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

// Unattended runs that fail end by themselves with the code that says how, the message in the
// report and one summary line on standard output; inputs stay where they were.
struct E2eFailure {
    const char* name;
    const char* mode;       // "/d" or "/h"
    const char* converter;  // "standin", "text" (not executable)
    const char* listKind;   // "list", "missing", "folder"
    const char* envName;
    const char* envValue;
    int exitCode;
    const char* reported;  // in the report; "" for nothing to check
    const char* summary;   // on standard output
};

void PrintTo(const E2eFailure& c, std::ostream* os) {
    *os << c.name;
}

class E2eFailures : public ::testing::TestWithParam<E2eFailure> {
  protected:
    test::TempDir tmp;
    const std::string dataHome = tmp / "data";
    const std::string dataDir = JoinPath(JoinPath(dataHome, "Tavrolint"), "KorvaneAuto");
    test::ScopedEnv dataHomeEnv{test::DataHomeVariable(), dataHome};
    test::ScopedEnv qpa{"QT_QPA_PLATFORM", test::ProgramQtPlatform()};
    test::ScopedEnv standinLog{"KORVANE_STANDIN_LOG", tmp / "standin.log"};
};

TEST_P(E2eFailures, EndWithTheirExitCode) {
    const E2eFailure& c = GetParam();
    test::ScopedEnv env(c.envName, c.envValue);
    test::MakeDir(dataDir);
    std::string converter = test::ConverterExe();
    if (std::string(c.converter) == "text") {
        converter = tmp / "Korvane.txt";
        test::WriteFileBytes(converter, "not a program");
    }
    const std::string in1 = tmp / "in1", in2 = tmp / "in2", outDir = tmp / "out";
    // The comparison's outputs go to the stored output folder.
    test::WriteFileBytes(JoinPath(dataDir, "KorvaneAuto.par"),
                         ParFile(converter, WithTrailingSeparator(outDir)));
    for (const std::string& dir : {in1, in2, outDir}) {
        test::MakeDir(dir);
    }
    test::WriteFileBytes(JoinPath(in1, "a.hgl"), "one");
    test::WriteFileBytes(JoinPath(in2, "a.hgl"), "two");
    std::string list = tmp / "list.txt";
    if (std::string(c.listKind) == "list") {
        test::WriteFileBytes(list, CrLfLines({JoinPath(in1, "a.hgl")}));
    } else if (std::string(c.listKind) == "folder") {
        list = in2;
    }
    const std::vector<std::string> args =
        std::string(c.mode) == "/h" ? std::vector<std::string>{"/h", JoinPath(in1, "*.hgl"), in2}
                                    : std::vector<std::string>{"/d", "/op", list, outDir};

    const std::string output = tmp / "output.txt";
    const test::ProgramRun run = RunProgram(args, output);
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.ended) << "the program did not end by itself";
    EXPECT_EQ(run.exitCode, c.exitCode);
    const std::string report = test::ReadFileBytes(JoinPath(dataDir, "RunReport.log"));
    std::string reported = c.reported;
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"<list>", list}, {"<converter>", converter}}) {
        if (const auto at = reported.find(key); at != std::string::npos) {
            reported.replace(at, key.size(), value);
        }
    }
    EXPECT_NE(report.find(reported), std::string::npos) << report;
    std::string printed = test::ReadFileBytes(output);
    std::erase(printed, '\r');  // a Windows console's line ends
    EXPECT_NE(printed.find(std::string(c.summary) + "\n"), std::string::npos) << printed;
    EXPECT_TRUE(platform::FileExists(JoinPath(in1, "a.hgl")));
    EXPECT_TRUE(platform::FileExists(JoinPath(in2, "a.hgl")));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, E2eFailures,
    ::testing::Values(
        E2eFailure{"MissingList", "/d", "standin", "missing", "KORVANE_STANDIN_UNUSED", "", 2,
                   "\tmessage\t<list> Cannot open file!\r\n",
                   "KorvaneAuto: the run could not start; exit code 2"},
        E2eFailure{"ListIsAFolder", "/d", "standin", "folder", "KORVANE_STANDIN_UNUSED", "", 2,
                   "\tmessage\t<list> Cannot open file!\r\n",
                   "KorvaneAuto: the run could not start; exit code 2"},
        E2eFailure{"ConverterNotExecutable", "/d", "text", "list", "KORVANE_STANDIN_UNUSED", "", 2,
                   "\tmessage\t<converter> Korvane program cannot be started!\r\n",
                   "KorvaneAuto: the run could not start; exit code 2"},
        E2eFailure{"ConverterCrashes", "/d", "standin", "list", "KORVANE_STANDIN_CRASH", "segv", 1,
                   "\tbatch\tnot run\t", "KorvaneAuto: 1 not run; exit code 1"},
        E2eFailure{"CompareWritesNothing", "/h", "standin", "list", "KORVANE_STANDIN_WRITE_ONLY",
                   "0", 1, "\tcomparison\tno output\t",
                   "KorvaneAuto: 1 without output; exit code 1"},
        E2eFailure{"CompareWritten", "/h", "standin", "list", "KORVANE_STANDIN_UNUSED", "", 0,
                   "\tcomparison\twritten\t", "KorvaneAuto: 1 written; exit code 0"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace ka
