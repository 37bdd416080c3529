// The program-wide settings store, its parameter file and the small shared pieces that every
// window uses. One store and one set of flags exist per program run; they are owned by the
// application and passed by reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "settings/RunSettings.h"
#include "shell/Paths.h"

namespace ka {

// The one version of the program: window caption, About window, first line of the parameter file.
inline constexpr const char* kVersionText = "Version 10.11";

struct Settings {
    std::string sDataDir;      // per-user data folder, no trailing separator
    std::string sParFile;      // sDataDir + "KorvaneAuto.par"
    std::string sComLineFile;  // sDataDir + "Korvaneline.txt"
    std::string sKorvaneExe;
    std::string sKorvaneExeStored;  // as the file named it: a bare name is written back bare
    std::string sOutListFileName;
    std::string sAutoOutDirFName;
    std::string sOutDir;
    std::int32_t iAutoWaitTime = 0;  // seconds
    std::string sChgAreaDir1;
    std::string sChgAreaDir2;
    std::uint8_t iOutTyp = 0;
    std::uint8_t iOutTyp2 = 0;
    std::uint8_t iChgArea = 0;
    std::uint8_t iSavBatch = 0;
    std::uint8_t iCompSkipFlags = 0;
    std::uint8_t iNoOut = 0;
    std::int32_t iIoResult = 0;
    std::string sInputFilter;
    std::int32_t iCompFileSizeOver = 30;
    std::string sHpglFileExt = "hgl";
    std::string sImageFileExt = "tif";
    std::string sPdfFileExt = "pdf";
    std::string sEmfFileExt = "emf";
    std::string sDxfFileExt = "dxf";
    std::string sDwgFileExt = "dwg";
    std::string sIgesFileExt = "igs";
    std::string sGerberFileExt = "gbr";
    std::string sSxfFileExt = "p21;sfc";  // fixed, not stored
    RunSettings run;                      // KorvaneAuto.ini, beside the parameter file
};

// Program-wide one-byte flags, false at program start.
struct ProgramFlags {
    bool bStarted = false;
    bool bCmdStandby = false;
    bool bCmdBatch = false;
    bool bCmdCompare = false;
    bool bAutoClose = false;
    bool bInStandby = false;
    bool bEndRequested = false;
};

// Where ShowMsg goes: a modal warning box in the program, a recorder in tests.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void ShowMsg(const std::string& text) = 0;
};

// Reads sParFile into the store. 0 read, 1 the file cannot be opened or read, 2 the first line
// is not the version text, 3 the file ends before its last field; the store is unchanged but
// for 0. Numbers out of their field's range are clamped (a list choice beyond its list reads as
// the shipped value). Warns through the sink when the converter named in the file does not
// exist.
int ReadParFile(Settings& settings, MessageSink& sink);

// The converter check of ReadParFile: keeps an existing program; moves the default path under
// "Program Files" to "Program Files (x86)" silently when only the latter exists; otherwise
// warns that the program does not exist and keeps the path.
void CheckKorvaneExe(std::string& korvaneExe, MessageSink& sink,
                     const std::function<bool(const std::string&)>& fileExists);

// A converter named by its bare file name ("Korvane.exe") is the one in the program's folder:
// the parameter file shipped in a package cannot know where the package was unpacked.
// Any other text is kept as it is.
std::string ConverterBesideProgram(const std::string& korvaneExe, const std::string& programFolder);

// Writes the store to sParFile: 23 CR LF lines, through a temporary file beside it that is then
// renamed into place, so a failed write never destroys the file already there.
// Shows kMsgCannotCreateParFile and returns false on failure.
bool WriteParFile(const Settings& settings, MessageSink& sink);

// Rebuilds sInputFilter from the nine extension lists.
void MakeInputFilter(Settings& settings);

// "p21;sfc" gives the display mask "*.p21;*.sfc" and the pattern ".p21;.sfc".
void ExtListToMasks(const std::string& list, std::string& displayMask, std::string& pattern);

// Kind of an input file by its extension: 1 HPGL ... 9 SXF, 10 comment (".cmt"), 0 not
// registered.
int GetInputFileKind(const std::string& path, const Settings& settings,
                     const PathRules& rules = PathRules::Native());

// True when the (lower-case) extension, without its dot, is an item of the list.
bool IsExtInList(const std::string& ext, const std::string& list);

}  // namespace ka
