// The converter's argument string for one job, and the two ways of starting the converter.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/FolderCompare.h"
#include "app/RunModes.h"
#include "app/RunResults.h"
#include "settings/OutputTypes.h"
#include "settings/UserMessages.h"

namespace ka {

namespace {

// Every entry in double quotes: each "," becomes `" "`. Nothing else is escaped.
void AppendQuotedInputList(std::string& out, std::string_view job) {
    out += '"';
    for (std::size_t start = 0;;) {
        const std::size_t comma = job.find(',', start);
        out.append(job.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        out += "\" \"";
        start = comma + 1;
    }
    out += '"';
}

// Output folder + first entry's name without its extension + the output extension.
void AppendOutputPath(std::string& out, std::string_view job, const KorvaneLineInputs& in,
                      std::string_view ext) {
    const std::string_view first = job.substr(0, job.find(','));
    const std::size_t separator = LastSeparatorPos(first, in.rules);
    const std::size_t start = out.size();
    out += in.sOutDir;
    const std::size_t nameStart = out.size();
    out += separator == std::string_view::npos ? first : first.substr(separator + 1);
    // The extension is replaced in the file name only: a name without a dot under
    // "D:\Out.new\" gets the extension appended, never cut at the folder's dot.
    const std::size_t dot = out.rfind('.');
    if (dot != std::string::npos && dot >= nameStart && dot > start) {
        out.erase(dot);
    }
    out += ext;
}

// The switch and the output extension of a job.
void SwitchAndExt(const KorvaneLineInputs& in, std::string& sw, std::string_view& ext) {
    if (in.output1Shown) {
        if (in.iChgArea == 1) {
            sw = "/c";
        } else if (in.iOutTyp != kOutTypDisplay) {
            sw = "/";
        }
        if (in.iOutTyp < kOutTypCount && kOutputTypes[in.iOutTyp].switchLetter != 0) {
            sw += kOutputTypes[in.iOutTyp].switchLetter;
            ext = kOutputTypes[in.iOutTyp].ext;
            if (in.iChgArea == 1 && in.iNoOut != 0) {
                sw += 'n';
            }
        }
    } else {
        const auto page2 = OutputTypesOfPage(2);
        sw = std::string("/") + page2.front().switchLetter;
        if (in.selectedOutTyp2 >= 0 && in.selectedOutTyp2 < static_cast<int>(page2.size())) {
            ext = page2[static_cast<std::size_t>(in.selectedOutTyp2)].ext;
        }
    }
}

}  // namespace

void BuildKorvaneCommandLine(const std::string& job, const KorvaneLineInputs& in, std::string& line,
                             std::string* output) {
    line.clear();
    if (output) {
        output->clear();
    }
    if (job.empty()) {
        return;
    }
    std::string sw;
    std::string_view ext;
    SwitchAndExt(in, sw, ext);
    if (!sw.empty()) {
        line += sw;
        line += ' ';
    }
    AppendQuotedInputList(line, job);
    if (sw.empty() || sw == "/c") {
        return;
    }
    line += " \"/o";
    const std::size_t pathStart = line.size();
    AppendOutputPath(line, job, in, ext);
    if (output) {
        output->assign(line, pathStart);
    }
    line += '"';
}

std::string BuildKorvaneCommandLine(const std::string& job, const KorvaneLineInputs& in,
                                    std::string* output) {
    std::string line;
    BuildKorvaneCommandLine(job, in, line, output);
    return line;
}

std::string BuildKorvaneOutputPath(const std::string& job, const KorvaneLineInputs& in) {
    std::string sw;
    std::string_view ext;
    SwitchAndExt(in, sw, ext);
    if (job.empty() || sw.empty() || sw == "/c") {
        return {};
    }
    std::string path;
    AppendOutputPath(path, job, in, ext);
    return path;
}

bool IsJobSafePath(std::string_view path, const PathRules& rules) {
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ',' || c == '"' || byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    // On Windows a name never holds a backslash; a final 0x5C there is a double-byte
    // character's second byte, which the converter's runtime reads as part of the character.
    return rules.style != PathStyle::Posix || path.empty() || path.back() != '\\';
}

std::string UnsafeNamesMessage(const std::vector<std::string>& paths) {
    RefusedItems items;
    for (const std::string& path : paths) {
        items.Add(PrintablePath(path));
    }
    return items.Message("file was left in place", "files were left in place",
                         "a name holding a comma, a double quote or a control character "
                         "cannot be handed to the converter.");
}

bool RunModes::NoteUnsafePath(const std::string& path) {
    if (IsJobSafePath(path, rules_)) {
        return false;
    }
    if (standby_.unsafeReported.insert(path).second) {
        standby_.unsafeNew.push_back(path);
    }
    return true;
}

void RunModes::NoteLink(const std::string& path) {
    if (standby_.unsafeReported.insert(path).second) {
        standby_.linksNew.push_back(path);
    }
}

void RunModes::ReportUnsafePaths() {
    if (standby_.unsafeNew.empty() && standby_.linksNew.empty()) {
        return;
    }
    // One report line per file.
    RunReport report;
    if (!settings_.sDataDir.empty() && report.Open(RunReport::PathIn(settings_.sDataDir, rules_))) {
        const char* mode = flags_.bInStandby ? "standby" : "comparison";
        for (const std::string& path : standby_.unsafeNew) {
            report.Line({mode, "left alone", "name not for the converter", PrintablePath(path)},
                        {});
        }
        for (const std::string& path : standby_.linksNew) {
            report.Line({mode, "left alone", "symbolic link", PrintablePath(path)}, {});
        }
        report.Close();
    }
    if (!standby_.unsafeNew.empty()) {
        sink_.ShowMsg(UnsafeNamesMessage(standby_.unsafeNew));
    }
    if (!standby_.linksNew.empty()) {
        RefusedItems links;
        for (const std::string& path : standby_.linksNew) {
            links.Add(PrintablePath(path));
        }
        sink_.ShowMsg(links.Message("symbolic link was left in place",
                                    "symbolic links were left in place",
                                    "standby takes regular files only."));
    }
    standby_.unsafeNew.clear();
    standby_.linksNew.clear();
}

std::string ConverterStartCommand(const std::string& korvaneExe, const std::string& comLineFile) {
    return '"' + korvaneExe + "\" /z \"" + comLineFile + '"';
}

std::string DirectStartCommand(const std::string& korvaneExe, const std::string& arguments) {
    return '"' + korvaneExe + "\" " + arguments;
}

KorvaneLineInputs LineInputsOf(const RunChoices& choices, const PathRules& rules) {
    KorvaneLineInputs in;
    in.output1Shown = choices.output1Shown;
    in.iChgArea = choices.settings.iChgArea;
    in.iOutTyp = choices.settings.iOutTyp;
    in.iNoOut = choices.settings.iNoOut;
    // The control's selection, not iOutTyp2: they can differ while the window is being set up.
    in.selectedOutTyp2 = choices.selectedOutTyp2;
    in.sOutDir = choices.settings.sOutDir;
    in.rules = rules;
    return in;
}

void RunModes::GetJob(const std::string& job, JobSpec& spec, std::string& arguments) const {
    const KorvaneLineInputs& in = LineInputs();
    // The input strings are assigned, not made anew, so their room serves the next job.
    std::size_t count = 0;
    for (std::size_t start = 0; start <= job.size(); ++count) {
        const std::size_t comma = std::min(job.find(',', start), job.size());
        if (count < spec.inputs.size()) {
            spec.inputs[count].assign(job, start, comma - start);
        } else {
            spec.inputs.emplace_back(job, start, comma - start);
        }
        start = comma + 1;
    }
    spec.inputs.resize(count);
    spec.absentMeansNoDifference = in.output1Shown && in.iChgArea == 1 && in.iNoOut != 0;
    BuildKorvaneCommandLine(job, in, arguments, &spec.output);
}

}  // namespace ka
