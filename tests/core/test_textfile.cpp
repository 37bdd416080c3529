// The program's text-file line rules.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/platform.h"
#include "settings/TextFile.h"

namespace ka {
namespace {

std::vector<std::string> ReadAllLines(const std::string& bytes) {
    test::TempDir dir;
    const std::string path = dir / "t.txt";
    test::WriteFileBytes(path, bytes);
    int error = 0;
    platform::FilePtr file = platform::OpenFile(path, "rb", error);
    EXPECT_TRUE(file) << error;
    std::vector<std::string> lines;
    TextLineReader reader(file.get());
    std::string line;
    while (reader.ReadLine(line)) {
        lines.push_back(line);
    }
    EXPECT_FALSE(reader.Failed());
    EXPECT_TRUE(line.empty());
    return lines;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
    return os << c.name;
}

class TextLines : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TextLines, SplitsByTheProgramsRules) {
    EXPECT_EQ(ReadAllLines(GetParam().bytes), GetParam().lines);
}

const std::string kBlock(64 * 1024 - 1, 'A');  // puts a CR on the reader's last buffer byte

INSTANTIATE_TEST_SUITE_P(
    Cases, TextLines,
    ::testing::Values(ReadCase{"Empty", "", {}}, ReadCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
                      ReadCase{"LoneCr", "a\rb", {"a", "b"}},
                      ReadCase{"LfOnly", "a\nb\n", {"a", "b"}},
                      ReadCase{"LfThenCr", "a\n\rb\r\n", {"a", "", "b"}},
                      ReadCase{"CrCrLf", "a\r\r\nb", {"a", "", "b"}},
                      ReadCase{"OneEmptyLine", "\r\n", {""}},
                      ReadCase{"CtrlZInLine",
                               "a\x1A"
                               "b\r\nc\r\n",
                               {"a"}},
                      ReadCase{"CtrlZAfterLine", "a\r\n\x1A\r\nb", {"a"}},
                      ReadCase{"CrThenCtrlZBeforeLf", "a\rb\x1A\n", {"a", "b"}},
                      ReadCase{"OnlyCtrlZ", "\x1A", {}},
                      ReadCase{"NulAndHighBytes",
                               std::string("\0\x95\x5C\xFF\r\n", 6),
                               {std::string("\0\x95\x5C\xFF", 4)}},
                      ReadCase{"CrLfSplitAcrossBuffers", kBlock + "\r\nb", {kBlock, "b"}},
                      ReadCase{"LineLongerThanBuffer",
                               std::string(200000, 'x') + "\r\ny",
                               {std::string(200000, 'x'), "y"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TextFile, WriteLineCrLfEndsEveryLine) {
    test::TempDir dir;
    const std::string path = dir / "w.txt";
    int error = 0;
    {
        platform::FilePtr file = platform::OpenFile(path, "wb", error);
        ASSERT_TRUE(file);
        EXPECT_TRUE(WriteLineCrLf(file.get(), "x\x95\x5C"));
        EXPECT_TRUE(WriteLineCrLf(file.get(), ""));
    }
    EXPECT_EQ(test::ReadFileBytes(path), "x\x95\x5C\r\n\r\n");
}

// A few lines stay with the caller; many go through the writer's thread, buffer after buffer.
// A file that takes no writes (opened for reading) fails the writer at the end either way.
TEST(TextFile, LineWriterWritesEveryLineInOrderOrSaysItFailed) {
    for (const int lines : {3, 150000}) {
        for (const bool writable : {true, false}) {
            SCOPED_TRACE(std::to_string(lines) + (writable ? " writable" : " read-only"));
            test::TempDir dir;
            const std::string path = dir / "w.txt";
            test::WriteFileBytes(path, "");
            int error = 0;
            platform::FilePtr file = platform::OpenFile(path, writable ? "wb" : "rb", error);
            ASSERT_TRUE(file);
            std::string expected;
            LineWriter writer(file.get());
            for (int i = 0; i < lines; ++i) {
                const std::string line = "line " + std::to_string(i) + " \x95\x5C";
                writer.Line(line);
                expected += line + "\r\n";
            }
            EXPECT_EQ(writer.Finish(), writable);
            EXPECT_EQ(writer.Failed(), !writable);
            file.reset();
            EXPECT_EQ(test::ReadFileBytes(path), writable ? expected : std::string());
        }
    }
}

TEST(TextFile, ParseLeadingIntTakesTheNumberAtTheStartOfTheLine) {
    const std::pair<const char*, std::int32_t> rows[] = {{"42", 42},
                                                         {"  -7 x", -7},
                                                         {"\t+5", 5},
                                                         {"12abc", 12},
                                                         {"abc", 0},
                                                         {"", 0},
                                                         {"- 3", 0},
                                                         {"256", 256},
                                                         {"4294967295", -1},
                                                         {"2147483648", INT32_MIN},
                                                         {"-2147483648", INT32_MIN}};
    for (const auto& [text, value] : rows) {
        EXPECT_EQ(ParseLeadingInt(text), value) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace ka
