// The stand-in converter: what it writes for each job and what it logs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"
#include "shell/Paths.h"

namespace ka {
namespace {

using test::CrLfLines;
using test::ReadLfLines;
using test::WriteFileBytes;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

class StandIn : public ::testing::Test {
  protected:
    // Runs the converter with the given arguments and returns its log.
    std::vector<std::string> Run(const std::string& arguments) {
        const platform::ProcessResult r =
            platform::RunAndWait(Quoted(test::ConverterExe()) + " " + arguments);
        EXPECT_TRUE(r.started);
        return ReadLfLines(log);
    }

    std::vector<std::string> RunRecordFile(const std::string& bytes) {
        const std::string record = tmp / "Korvaneline.txt";
        WriteFileBytes(record, bytes);
        return Run("/z " + Quoted(record));
    }

    static std::string OutputText(const std::string& switchText,
                                  const std::vector<std::string>& inputs) {
        std::vector<std::string> lines = {"KORVANE-STANDIN", "switch=" + switchText};
        for (const std::string& in : inputs) {
            lines.push_back("input=" + in);
        }
        return CrLfLines(lines);
    }

    test::TempDir tmp;
    const std::string log = tmp / "standin.log";
    test::ScopedEnv logEnv{"KORVANE_STANDIN_LOG", log};
    const std::string a = tmp / "a.hgl";
    const std::string b = tmp / "b file.hgl";
};

TEST_F(StandIn, ADirectJobWritesItsOutput) {
    WriteFileBytes(a, "A");
    const std::string out = tmp / "a.pdf";
    const auto lines = Run("/p " + Quoted(a) + " " + Quoted("/o" + out));
    EXPECT_EQ(lines, (std::vector<std::string>{"start", "argv 1 /p", "argv 2 " + a,
                                               "argv 3 /o" + out, "output " + out, "end 0"}));
    EXPECT_EQ(test::ReadFileBytes(out), OutputText("/p", {a}));
}

TEST_F(StandIn, EachRecordLineIsOneJob) {
    WriteFileBytes(a, "A");
    WriteFileBytes(b, "B");
    const std::string out1 = tmp / "a.pdf";
    const std::string out2 = tmp / "a.dxf";
    const std::string line1 = "/p " + Quoted(a) + " " + Quoted("/o" + out1);
    const std::string line2 = "/d " + Quoted(a) + " " + Quoted(b) + " " + Quoted("/o" + out2);
    const std::string display = "/c " + Quoted(a) + " " + Quoted(b);
    // CR alone ends a line, Ctrl-Z ends the file.
    const auto lines = RunRecordFile(line1 + "\r\n" + line2 + "\r" + display + "\r\n" + "\x1A" +
                                     "/p \"never\" \"/onever\"\r\n");
    const std::string record = tmp / "Korvaneline.txt";
    EXPECT_EQ(lines, (std::vector<std::string>{"start", "argv 1 /z", "argv 2 " + record,
                                               "line " + line1, "line " + line2, "line " + display,
                                               "output " + out1, "output " + out2, "end 0"}));
    EXPECT_EQ(test::ReadFileBytes(out1), OutputText("/p", {a}));
    EXPECT_EQ(test::ReadFileBytes(out2), OutputText("/d", {a, b}));
}

TEST_F(StandIn, ComparisonWithNWritesNothingForEqualInputs) {
    struct Row {
        const char* switchText;
        const char* bytesA;
        const char* bytesB;
        bool written;
    };
    const Row rows[] = {
        {"/ctn", "same", "same", false}, {"/cpn", "same", "same!", true},  // differ in length
        {"/cpn", "samE", "same", true},                                    // differ in a byte
        {"/ct", "same", "same", true},  // no "n": always an output
        {"/p", "same", "same", true},   // no comparison
    };
    int i = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.switchText + std::string(" ") + row.bytesA + "/" + row.bytesB);
        WriteFileBytes(a, row.bytesA);
        WriteFileBytes(b, row.bytesB);
        const std::string out = tmp / ("out" + std::to_string(i++) + ".tif");
        const auto lines = Run(std::string(row.switchText) + " " + Quoted(a) + " " + Quoted(b) +
                               " " + Quoted("/o" + out));
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], (row.written ? "output " : "skip ") + out);
        EXPECT_EQ(platform::FileExists(out), row.written);
        platform::DeleteFileAt(log);
    }
}

TEST_F(StandIn, AMissingInputMeansNoOutputForThatJobOnly) {
    WriteFileBytes(a, "A");
    const std::string missing = tmp / "missing.hgl";
    const std::string out1 = tmp / "m.pdf";
    const std::string out2 = tmp / "a.pdf";
    const auto lines = RunRecordFile(CrLfLines({
        "/p " + Quoted(missing) + " " + Quoted("/o" + out1),
        "/p " + Quoted(a) + " " + Quoted("/o" + out2),
    }));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"missing " + missing, "output " + out2, "end 0"}));
    EXPECT_FALSE(platform::PathExists(out1));
}

TEST_F(StandIn, DisplayJobsWriteNothing) {
    WriteFileBytes(a, "A");
    // No switch at all, and "/c" alone: an input path, not a switch, even where paths start
    // with "/".
    for (const std::string& args : {Quoted(a), "/c " + Quoted(a) + " " + Quoted(a)}) {
        SCOPED_TRACE(args);
        const auto lines = Run(args);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "end 0");
        for (const std::string& line : lines) {
            EXPECT_NE(line.rfind("output", 0), 0u) << line;
            EXPECT_NE(line.rfind("missing", 0), 0u) << line;
        }
    }
}

// The faults the environment asks for, over a record file of three jobs: the facts logged
// after the record's lines, each output's bytes and how the process ended.
TEST_F(StandIn, FailsTheWayItIsToldTo) {
    enum Bytes { None, Whole, Empty, Half, Copy, HalfCopy };
    struct Row {
        std::vector<std::pair<const char*, const char*>> env;
        std::vector<std::string> facts;  // "@a" is input a's path, "%a" output a's
        Bytes bytes[3];
        platform::ProcessEnd end;
        int exitCode = 0;
        int minMs = 0;
    };
    const Row rows[] = {
        {{{"KORVANE_STANDIN_OUTPUT", "empty"}, {"KORVANE_STANDIN_ON", "b.hgl"}},
         {"output %a", "empty %b", "output %c", "end 0"},
         {Whole, Empty, Whole},
         platform::ProcessEnd::Exited},
        {{{"KORVANE_STANDIN_OUTPUT", "half"}},
         {"half %a", "half %b", "half %c", "end 0"},
         {Half, Half, Half},
         platform::ProcessEnd::Exited},
        {{{"KORVANE_STANDIN_CRASH_ON", "b.hgl"}},
         {"output %a", "crash-at @b"},
         {Whole, None, None},
         platform::ProcessEnd::Crashed},
        {{{"KORVANE_STANDIN_FAIL_ON", "b.hgl"}},
         {"output %a", "failed %b", "output %c", "end 1"},
         {Whole, None, Whole},
         platform::ProcessEnd::Exited,
         1},
        {{{"KORVANE_STANDIN_FAIL_ON", "b.hgl"}, {"KORVANE_STANDIN_EXIT", "0"}},
         {"output %a", "failed %b", "output %c", "end 0"},
         {Whole, None, Whole},
         platform::ProcessEnd::Exited},
        // KORVANE_STANDIN_ON keeps the crash away from b; copies are made whatever it says.
        {{{"KORVANE_STANDIN_COPY", "1"},
          {"KORVANE_STANDIN_OUTPUT", "half"},
          {"KORVANE_STANDIN_CRASH_ON", "b.hgl"},
          {"KORVANE_STANDIN_ON", "c.hgl"}},
         {"output %a", "output %b", "half %c", "end 0"},
         {Copy, Copy, HalfCopy},
         platform::ProcessEnd::Exited},
        {{{"KORVANE_STANDIN_HANG_ON", "b.hgl"}, {"KORVANE_STANDIN_HANG_PARTIAL", "1"}},
         {"output %a", "half %b", "hang-at @b"},
         {Whole, Half, None},
         platform::ProcessEnd::Stopped},
        {{{"KORVANE_STANDIN_CPU_MS", "150"}},
         {"output %a", "output %b", "output %c", "end 0"},
         {Whole, Whole, Whole},
         platform::ProcessEnd::Exited,
         0,
         450},
    };
    const std::string names[3] = {"a", "b", "c"};
    std::string record;
    for (const std::string& name : names) {
        WriteFileBytes(tmp / (name + ".hgl"), "drawing " + name + " of 23 bytes");
        record += "/p " + Quoted(tmp / (name + ".hgl")) + " " +
                  Quoted("/o" + tmp / (name + ".pdf")) + "\r\n";
    }
    WriteFileBytes(tmp / "Korvaneline.txt", record);
    for (const Row& row : rows) {
        std::string trace;
        std::vector<std::unique_ptr<test::ScopedEnv>> env;
        for (const auto& [name, value] : row.env) {
            env.push_back(std::make_unique<test::ScopedEnv>(name, value));
            trace += std::string(name) + "=" + value + " ";
        }
        SCOPED_TRACE(trace);
        for (const std::string& name : names) {
            platform::DeleteFileAt(tmp / (name + ".pdf"));
        }
        platform::DeleteFileAt(log);

        const auto start = std::chrono::steady_clock::now();
        platform::Process process;
        ASSERT_TRUE(
            process.Start(Quoted(test::ConverterExe()) + " /z " + Quoted(tmp / "Korvaneline.txt")));
        if (row.end == platform::ProcessEnd::Stopped) {
            for (int i = 0; i < 500; ++i) {
                const auto lines = ReadLfLines(log);
                if (!lines.empty() && lines.back().rfind("hang-at", 0) == 0) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            EXPECT_TRUE(process.Running()) << "hangs";
            process.Terminate(0);
        } else {
            ASSERT_TRUE(process.Wait(30000));
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        EXPECT_GE(ms, row.minMs);
        EXPECT_EQ(process.Result().end, row.end);
        if (row.end == platform::ProcessEnd::Exited) {
            EXPECT_EQ(process.Result().exitCode, row.exitCode);
        }

        std::vector<std::string> facts;
        for (const std::string& line : ReadLfLines(log)) {
            if (line != "start" && line.rfind("argv ", 0) != 0 && line.rfind("line ", 0) != 0) {
                facts.push_back(line);
            }
        }
        std::vector<std::string> expected;
        for (std::string fact : row.facts) {
            const std::size_t at = fact.find_first_of("@%");
            if (at != std::string::npos) {
                const std::string name = fact.substr(at + 1);
                fact = fact.substr(0, at) + tmp / (name + (fact[at] == '@' ? ".hgl" : ".pdf"));
            }
            expected.push_back(fact);
        }
        EXPECT_EQ(facts, expected);

        for (int i = 0; i < 3; ++i) {
            const std::string input = tmp / (names[i] + ".hgl");
            const std::string output = tmp / (names[i] + ".pdf");
            SCOPED_TRACE(output);
            const std::string whole = OutputText("/p", {input});
            const std::string copy = test::ReadFileBytes(input);
            switch (row.bytes[i]) {
                case None:
                    EXPECT_FALSE(platform::PathExists(output));
                    continue;
                case Whole:
                    EXPECT_EQ(test::ReadFileBytes(output), whole);
                    break;
                case Empty:
                    EXPECT_EQ(test::ReadFileBytes(output), "");
                    break;
                case Half:
                    EXPECT_EQ(test::ReadFileBytes(output), whole.substr(0, whole.size() / 2));
                    break;
                case Copy:
                    EXPECT_EQ(test::ReadFileBytes(output), copy);
                    break;
                case HalfCopy:
                    EXPECT_EQ(test::ReadFileBytes(output), copy.substr(0, copy.size() / 2));
                    break;
            }
            EXPECT_TRUE(platform::FileExists(output));
        }
    }
}

// The Wine runs set KA_EXPECT_CODE_PAGE, so a missing Japanese locale cannot quietly turn the
// code page 932 run into a second 1252 run.
TEST(CodePage932, TheSystemCodePageIsTheOneTheRunAsksFor) {
    const char* expected = std::getenv("KA_EXPECT_CODE_PAGE");
    if (!expected || !*expected) {
        GTEST_SKIP() << "KA_EXPECT_CODE_PAGE not set";
    }
    EXPECT_EQ(platform::ActiveCodePage(), std::strtoul(expected, nullptr, 10));
}

// Runs only where the system code page is 932 (Wine started with LANG=ja_JP.UTF-8): a folder
// whose name ends in the trail byte 0x5C goes through the path helpers and a real converter
// start, by direct arguments and by the record file.
TEST(CodePage932, TrailByte5CPathSurvivesPathsAndAConverterRoundTrip) {
    if (platform::ActiveCodePage() != 932) {
        GTEST_SKIP() << "needs code page 932";
    }
    test::TempDir tmp;
    const std::string log = tmp / "standin.log";
    test::ScopedEnv logEnv("KORVANE_STANDIN_LOG", log);
    const std::string kanji = "\x95\x5C";  // one character; second byte is "\"

    const std::string folder = JoinPath(tmp.Path(), kanji);
    ASSERT_TRUE(platform::CreateDirectoryOne(folder));
    EXPECT_EQ(NamePart(folder), kanji);
    EXPECT_EQ(FolderPart(folder), WithTrailingSeparator(tmp.Path()));
    const std::string input = JoinPath(folder, kanji);  // ends in 0x5C
    EXPECT_EQ(FolderPart(input), folder + "\\");
    EXPECT_EQ(NamePart(input), kanji);
    int error = 0;
    {
        platform::FilePtr f = platform::OpenFile(input, "wb", error);
        ASSERT_TRUE(f);
        std::fputs("drawing", f.get());
    }

    // Direct start: the path inside the line is followed by a separator, not a quote.
    const std::string input2 = JoinPath(folder, "a.hgl");
    {
        platform::FilePtr f = platform::OpenFile(input2, "wb", error);
        ASSERT_TRUE(f);
    }
    const std::string out1 = JoinPath(folder, "a.pdf");
    const platform::ProcessResult r = platform::RunAndWait(
        Quoted(test::ConverterExe()) + " /p " + Quoted(input2) + " " + Quoted("/o" + out1));
    ASSERT_TRUE(r.started);
    EXPECT_TRUE(platform::FileExists(out1));
    auto lines = ReadLfLines(log);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "argv 2 " + input2), lines.end());

    // Record file: the input path ends in the trail byte, right before its closing quote.
    const std::string record = JoinPath(folder, "Korvaneline.txt");
    const std::string out2 = JoinPath(folder, "k.pdf");
    const std::string line = "/p " + Quoted(input) + " " + Quoted("/o" + out2);
    {
        platform::FilePtr f = platform::OpenFile(record, "wb", error);
        ASSERT_TRUE(f);
        std::fputs((line + "\r\n").c_str(), f.get());
    }
    ASSERT_TRUE(
        platform::RunAndWait(Quoted(test::ConverterExe()) + " /z " + Quoted(record)).started);
    lines = ReadLfLines(log);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "line " + line), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "output " + out2), lines.end());
    ASSERT_TRUE(platform::FileExists(out2));
    platform::FilePtr f = platform::OpenFile(out2, "rb", error);
    ASSERT_TRUE(f);
    char buffer[512] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, f.get());
    EXPECT_EQ(std::string(buffer, n),
              CrLfLines({"KORVANE-STANDIN", "switch=/p", "input=" + input}));
}

}  // namespace
}  // namespace ka
