// Argument strings handed to the converter.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "app/RunModes.h"

namespace ka {
namespace {

struct LineCase {
    const char* name;
    bool output1;
    int chgArea, outTyp, noOut, outTyp2;
    const char* outDir;
    const char* job;
    const char* expected;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

KorvaneLineInputs InputsOf(const LineCase& c, PathRules rules) {
    KorvaneLineInputs in;
    in.output1Shown = c.output1;
    in.iChgArea = static_cast<std::uint8_t>(c.chgArea);
    in.iOutTyp = static_cast<std::uint8_t>(c.outTyp);
    in.iNoOut = static_cast<std::uint8_t>(c.noOut);
    in.selectedOutTyp2 = c.outTyp2;
    in.sOutDir = c.outDir;
    in.rules = rules;
    return in;
}

class WindowsPathLine : public ::testing::TestWithParam<LineCase> {};
class PosixPathLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(WindowsPathLine, BuildsArgumentString) {
    const KorvaneLineInputs in = InputsOf(GetParam(), PathRules::Windows());
    std::string output = "left from before";
    EXPECT_EQ(BuildKorvaneCommandLine(GetParam().job, in, &output), GetParam().expected);
    // The output given with the line is the one the job is judged by.
    EXPECT_EQ(output, BuildKorvaneOutputPath(GetParam().job, in));
}

TEST_P(PosixPathLine, BuildsArgumentString) {
    EXPECT_EQ(BuildKorvaneCommandLine(GetParam().job, InputsOf(GetParam(), PathRules::Posix())),
              GetParam().expected);
}

// Fields: name, page "Output1", iChgArea, iOutTyp, iNoOut, Output2 item, sOutDir, job, result.
INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsPathLine,
    ::testing::Values(
        LineCase{"Pdf", true, 0, 0, 0, -1, R"(D:\Out\)", R"(C:\In\a.hgl)",
                 R"(/p "C:\In\a.hgl" "/oD:\Out\a.pdf")"},
        LineCase{"TiffCompareNoOut", true, 1, 1, 1, -1, R"(D:\Out\)", R"(C:\A\x.hgl,C:\B\x.hgl)",
                 R"(/ctn "C:\A\x.hgl" "C:\B\x.hgl" "/oD:\Out\x.tif")"},
        LineCase{"Display", true, 0, 22, 0, -1, R"(D:\Out\)", R"(C:\In\a.hgl)", R"("C:\In\a.hgl")"},
        LineCase{"DisplayCompareNeverN", true, 1, 22, 1, -1, R"(D:\Out\)",
                 R"(C:\A\x.hgl,C:\B\x.hgl)", R"(/c "C:\A\x.hgl" "C:\B\x.hgl")"},
        LineCase{"Output2IgnoresPage1Settings", false, 1, 22, 1, 4, R"(D:\Out\)", R"(C:\In\p.pdf)",
                 R"(/f "C:\In\p.pdf" "/oD:\Out\p.svg")"},
        LineCase{"Output2NothingSelected", false, 0, 0, 0, -1, R"(D:\Out\)", R"(C:\In\p.pdf)",
                 R"(/f "C:\In\p.pdf" "/oD:\Out\p")"},
        LineCase{"TwoFilesNoCompareNoN", true, 0, 2, 1, -1, R"(D:\Out\)",
                 R"(C:\In\a.hgl,C:\In\b.hgl)",
                 R"(/d "C:\In\a.hgl" "C:\In\b.hgl" "/oD:\Out\a.dxf")"},
        LineCase{"TrailingComma", true, 0, 0, 0, -1, R"(D:\Out\)", R"(C:\In\a.hgl,)",
                 R"(/p "C:\In\a.hgl" "" "/oD:\Out\a.pdf")"},
        LineCase{"BlankEntry", true, 0, 0, 0, -1, R"(D:\My Out\)", R"(C:\In\a b.hgl, ,C:\c.hgl)",
                 R"(/p "C:\In\a b.hgl" " " "C:\c.hgl" "/oD:\My Out\a b.pdf")"},
        LineCase{"PageSuffix", true, 0, 0, 0, -1, R"(D:\Out\)", R"(C:\In\a.pdf_3)",
                 R"(/p "C:\In\a.pdf_3" "/oD:\Out\a.pdf")"},
        LineCase{"NoDotUnderDottedFolder", true, 0, 0, 0, -1, R"(D:\Out.new\)", R"(C:\In\noext)",
                 R"(/p "C:\In\noext" "/oD:\Out.new\noext.pdf")"},
        LineCase{"DotAtFirstPositionKept", true, 0, 0, 0, -1, "", ".hgl",
                 R"(/p ".hgl" "/o.hgl.pdf")"},
        LineCase{"NameAfterDriveColon", true, 0, 19, 0, -1, R"(D:\Out\)", R"(C:a.b.hgl)",
                 R"(/y "C:a.b.hgl" "/oD:\Out\a.b.sfc")"},
        LineCase{"CmtCompareNotRefused", true, 1, 20, 0, -1, R"(D:\Out\)", R"(C:\A\x,C:\B\x)",
                 R"(/ca "C:\A\x" "C:\B\x" "/oD:\Out\x.cmt")"},
        LineCase{"TypeBeyondTable", true, 0, 23, 0, -1, R"(D:\Out\)", R"(C:\In\a.hgl)",
                 R"(/ "C:\In\a.hgl" "/oD:\Out\a")"},
        LineCase{"EmptyJob", true, 0, 0, 0, -1, R"(D:\Out\)", "", ""},
        LineCase{"EmptyJobDisplayCompare", true, 1, 22, 1, -1, R"(D:\Out\)", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Cases, PosixPathLine,
    ::testing::Values(LineCase{"ComparePair", true, 1, 1, 1, -1, "/out/", "/a/x.hgl,/b/x.hgl",
                               R"(/ctn "/a/x.hgl" "/b/x.hgl" "/o/out/x.tif")"},
                      LineCase{"BackslashAndColonInName", true, 0, 0, 0, -1, "/out/",
                               R"(/in/a\b:c.hgl)", R"(/p "/in/a\b:c.hgl" "/o/out/a\b:c.pdf")"},
                      LineCase{"NoDotUnderDottedFolder", true, 0, 0, 0, -1, "/out.new/",
                               "/in/noext", R"(/p "/in/noext" "/o/out.new/noext.pdf")"}),
    [](const auto& row) { return std::string(row.param.name); });

// In code page 932 a trail byte can be 0x5C ("\"): no separator there. In 1252 there is one.
TEST(KorvaneCommandLine, DoubleByteTrailBackslashIsNotASeparator) {
    const std::string job = "C:\\In\\\x95\x5C.hgl";
    const LineCase c{"", true, 0, 0, 0, -1, R"(D:\Out\)", "", ""};
    EXPECT_EQ(BuildKorvaneCommandLine(job, InputsOf(c, PathRules::Windows(932))),
              "/p \"C:\\In\\\x95\x5C.hgl\" \"/oD:\\Out\\\x95\x5C.pdf\"");
    EXPECT_EQ(BuildKorvaneCommandLine(job, InputsOf(c, PathRules::Windows(1252))),
              "/p \"C:\\In\\\x95\x5C.hgl\" \"/oD:\\Out\\.pdf\"");
}

TEST(KorvaneCommandLine, StartCommandsQuoteConverterAndRecordFile) {
    EXPECT_EQ(ConverterStartCommand(R"(C:\Program Files\Korvane.exe)", R"(C:\My Data\k.txt)"),
              R"("C:\Program Files\Korvane.exe" /z "C:\My Data\k.txt")");
    EXPECT_EQ(DirectStartCommand(R"(C:\Conv\Korvane.exe)", R"("C:\In\a.hgl")"),
              R"("C:\Conv\Korvane.exe" "C:\In\a.hgl")");
}

// The page and the control's selection taken at the run's start count, not the stored iOutTyp2.
TEST(KorvaneCommandLine, RunChoicesGiveTheLineInputs) {
    RunChoices choices;
    choices.settings.sOutDir = R"(D:\Out\)";
    choices.settings.iOutTyp = 1;
    choices.settings.iOutTyp2 = 5;
    choices.settings.iChgArea = 1;
    choices.settings.iNoOut = 1;
    const PathRules rules = PathRules::Windows(932);
    EXPECT_EQ(BuildKorvaneCommandLine(R"(C:\A\x.hgl,C:\B\x.hgl)", LineInputsOf(choices, rules)),
              R"(/ctn "C:\A\x.hgl" "C:\B\x.hgl" "/oD:\Out\x.tif")");
    choices.output1Shown = false;
    choices.selectedOutTyp2 = 2;
    EXPECT_EQ(BuildKorvaneCommandLine("C:\\In\\\x95\x5C.pdf", LineInputsOf(choices, rules)),
              "/f \"C:\\In\\\x95\x5C.pdf\" \"/oD:\\Out\\\x95\x5C.ps\"");
}

// What the converter's job syntax can carry: a comma would split the job, a quote or control
// character break the line; a final backslash escapes the closing quote, except as the second
// byte of a double-byte character on Windows.
TEST(JobSafePath, RefusesWhatTheJobSyntaxCannotCarry) {
    const PathRules win = PathRules::Windows(), posix = PathRules::Posix();
    const struct {
        std::string path;
        PathRules rules;
        bool safe;
    } rows[] = {
        {"/in/plan 2 (rev).hgl", posix, true}, {"/in/Plan A,rev2.hgl", posix, false},
        {"/in/q\"uote.hgl", posix, false},     {"/in/victim.txt\r.hgl", posix, false},
        {"/in/a\n.hgl", posix, false},         {"/in/a\x1A.hgl", posix, false},
        {"/in/del\x7F.hgl", posix, false},     {"/in/caf\xE9.hgl", posix, true},
        {"/in/trail\\", posix, false},         {"/in/mid\\dle.hgl", posix, true},
        {"C:\\In\\\x95\x5C", win, true},       {"C:\\In\\a,b.hgl", win, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsJobSafePath(row.path, row.rules), row.safe) << row.path;
    }
}

}  // namespace
}  // namespace ka
