// Special folders, shortcut resolution and the recursive folder copy.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "platform/platform.h"
#include "shell/UnitShell.h"

#ifdef _WIN32
#include <objbase.h>
#include <shlobj.h>
#endif

namespace ka {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

bool IsWindows() {
    return PathRules::Native().style == PathStyle::Windows;
}

int AccessDeniedCode() {
    return IsWindows() ? 5 : EACCES;  // ERROR_ACCESS_DENIED
}

// ---- GetSpecialFolder ------------------------------------------------------------------------

TEST(GetSpecialFolder, TakesTheIndexModulo128AndLeavesTheTextForInvalidOnes) {
    std::string twelve = "previous";
    std::string wrapped = "other";
    GetSpecialFolder(sfCommonDocuments, twelve);
    GetSpecialFolder(140, wrapped);
    EXPECT_EQ(wrapped, twelve);

    std::string local;
    std::string wrappedLocal = "x";
    GetSpecialFolder(sfLocalAppData, local);
    GetSpecialFolder(128 + sfLocalAppData, wrappedLocal);
    EXPECT_EQ(wrappedLocal, local);
    EXPECT_FALSE(local.empty());

    std::string drives = "previous";
    GetSpecialFolder(sfDrives, drives);  // a virtual folder: no path
    EXPECT_EQ(drives, "");

    for (int index : {13, 127, 141, 255}) {
        std::string path = "left alone";
        GetSpecialFolder(static_cast<std::uint8_t>(index), path);
        EXPECT_EQ(path, "left alone") << index;
    }
}

TEST(GetSpecialFolder, LocalAppDataFollowsXdgDataHomeOnPosix) {
    if (IsWindows()) {
        GTEST_SKIP() << "XDG variables mean nothing on Windows";
    }
    TempDir tmp;
    test::ScopedEnv data("XDG_DATA_HOME", tmp / "data");
    std::string path;
    GetSpecialFolder(sfLocalAppData, path);
    EXPECT_EQ(path, tmp / "data");
}

// ---- ResolveLinkFile -------------------------------------------------------------------------

#ifdef _WIN32
// A real shortcut written by the shell's own link object.
bool MakeShortcut(const std::string& linkPath, const std::string& target) {
    const HRESULT init = CoInitialize(nullptr);
    bool ok = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->SetPath(target.c_str())) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            std::wstring wide(linkPath.begin(), linkPath.end());
            ok = SUCCEEDED(file->Save(wide.c_str(), TRUE));
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return ok;
}
#endif

TEST(ResolveLinkFile, LeavesPathsThatAreNoShortcutsAlone) {
    TempDir tmp;
    WriteFileBytes(tmp / "broken.lnk", "this is no shortcut");
    test::MakeDir(tmp / "dir.lnk");
    WriteFileBytes(JoinPath(tmp / "dir.lnk", "noext"), "x");
    const std::string rows[] = {
        tmp / "broken.lnk",
        tmp / "missing.lnk",
        JoinPath(tmp / "dir.lnk", "noext"),  // the extension is the file name's own
        tmp / "a.lnk.hgl",
        tmp / "lnk",
        "",
    };
    for (const std::string& path : rows) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ResolveLinkFile(path), path);
    }
}

TEST(ResolveLinkFile, ResolvesAShortcutWhateverTheCaseOfItsExtension) {
    TempDir tmp;
    const std::string target = tmp / "target file.hgl";
    WriteFileBytes(target, "drawing");
    for (const char* name : {"a.lnk", "b.LNK", "c.Lnk"}) {
        SCOPED_TRACE(name);
        const std::string link = tmp / name;
#ifdef _WIN32
        ASSERT_TRUE(MakeShortcut(link, target));
#else
        fs::create_symlink(target, link);
#endif
        EXPECT_TRUE(fs::equivalent(ResolveLinkFile(link), target)) << ResolveLinkFile(link);
    }
}

TEST(ResolveLinkFile, ReadsAWindowsShortcutFileOnPosix) {
    if (IsWindows()) {
        GTEST_SKIP() << "covered by the real shell above";
    }
    const std::string base = "C:\\In\\a.hgl";
    const std::string b = test::ShellLinkFileBytes(base);
    TempDir tmp;
    WriteFileBytes(tmp / "w.LNK", b);
    EXPECT_EQ(ResolveLinkFile(tmp / "w.LNK"), base);

    // A link that loads but has no local path gives empty text.
    std::string noPath = b.substr(0, 0x4C);
    noPath[20] = 0;
    WriteFileBytes(tmp / "v.lnk", noPath);
    EXPECT_EQ(ResolveLinkFile(tmp / "v.lnk"), "");
}

// ---- CopyFolderTree --------------------------------------------------------------------------

class CopyFolderTreeTest : public ::testing::Test {
  protected:
    TempDir tmp;
    const std::string src = tmp / "Init";
    const std::string dst = tmp / "Data";

    void SetUp() override {
        test::MakeDir(src);
        test::MakeDir(dst);
    }
};

std::string AllBytes(std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
    }
    return bytes;
}

TEST_F(CopyFolderTreeTest, CopiesEverythingAndReplacesSameNamedFiles) {
    WriteFileBytes(JoinPath(src, "KorvaneAuto.par"), "Version 10.11\r\nnew\r\n");
    test::MakeDir(JoinPath(src, "sub"));
    WriteFileBytes(JoinPath(JoinPath(src, "sub"), "b.txt"), "B");
    test::MakeDir(JoinPath(JoinPath(src, "sub"), "deeper"));
    const std::string big = AllBytes(512 * 3 + 17);  // several blocks and a partial one
    WriteFileBytes(JoinPath(JoinPath(JoinPath(src, "sub"), "deeper"), "c.bin"), big);
    WriteFileBytes(JoinPath(src, "empty.txt"), "");
    test::MakeDir(JoinPath(src, "empty folder"));
    WriteFileBytes(JoinPath(dst, "KorvaneAuto.par"), "Version 9\r\nold and longer\r\n");
    WriteFileBytes(JoinPath(dst, "extra.txt"), "keep me");

    EXPECT_EQ(CopyFolderTree(src, dst), 0);

    EXPECT_EQ(ReadFileBytes(JoinPath(dst, "KorvaneAuto.par")), "Version 10.11\r\nnew\r\n");
    EXPECT_EQ(ReadFileBytes(JoinPath(dst, "extra.txt")), "keep me");
    EXPECT_EQ(ReadFileBytes(JoinPath(JoinPath(dst, "sub"), "b.txt")), "B");
    EXPECT_EQ(ReadFileBytes(JoinPath(JoinPath(JoinPath(dst, "sub"), "deeper"), "c.bin")), big);
    EXPECT_EQ(ReadFileBytes(JoinPath(dst, "empty.txt")), "");
    EXPECT_TRUE(platform::DirectoryExists(JoinPath(dst, "empty folder")));
}

TEST_F(CopyFolderTreeTest, AReadOnlyDestinationFileStopsTheCopyWithAccessDenied) {
    WriteFileBytes(JoinPath(src, "a.txt"), "new");
    WriteFileBytes(JoinPath(dst, "a.txt"), "old");
    test::SetReadOnly(JoinPath(dst, "a.txt"), true);
    EXPECT_EQ(CopyFolderTree(src, dst), AccessDeniedCode());
    EXPECT_EQ(ReadFileBytes(JoinPath(dst, "a.txt")), "old");

    // The same one level down stops the whole copy too.
    test::MakeDir(JoinPath(src, "sub"));
    WriteFileBytes(JoinPath(JoinPath(src, "sub"), "a.txt"), "new");
    test::MakeDir(JoinPath(dst, "sub"));
    test::SetReadOnly(JoinPath(dst, "a.txt"), false);
    WriteFileBytes(JoinPath(JoinPath(dst, "sub"), "a.txt"), "old");
    test::SetReadOnly(JoinPath(JoinPath(dst, "sub"), "a.txt"), true);
    EXPECT_EQ(CopyFolderTree(src, dst), AccessDeniedCode());
}

TEST_F(CopyFolderTreeTest, ASubfolderThatCannotBeCreatedGivesOne) {
    test::MakeDir(JoinPath(src, "sub"));
    WriteFileBytes(JoinPath(JoinPath(src, "sub"), "a.txt"), "x");
    WriteFileBytes(JoinPath(dst, "sub"), "a file where the folder should go");
    EXPECT_EQ(CopyFolderTree(src, dst), 1);
}

TEST_F(CopyFolderTreeTest, CopyFileBlocksReportsWhatCannotBeOpened) {
    EXPECT_EQ(CopyFolderTree(tmp / "missing", dst), 0);  // nothing listed: nothing to do
    EXPECT_NE(CopyFileBlocks(src, dst, "missing.txt"), 0);
    WriteFileBytes(JoinPath(src, "a.txt"), "x");
    EXPECT_NE(CopyFileBlocks(src, tmp / "no such folder", "a.txt"), 0);
    EXPECT_EQ(CopyFileBlocks(src, dst, "a.txt"), 0);
    EXPECT_EQ(ReadFileBytes(JoinPath(dst, "a.txt")), "x");
}

}  // namespace
}  // namespace ka
