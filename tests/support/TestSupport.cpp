#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace fs = std::filesystem;

namespace ka::test {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            base / ("ka-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files would stop the removal on Windows.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const {
    return JoinPath(path_, name);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void MakeDir(const std::string& path) {
    fs::create_directories(path);
}

void SetReadOnly(const std::string& path, bool readOnly) {
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(path, write, readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

void SetModificationTime(const std::string& path, long long secondsSinceEpoch) {
#ifdef _WIN32
    struct _utimbuf times {};
    times.actime = static_cast<time_t>(secondsSinceEpoch);
    times.modtime = static_cast<time_t>(secondsSinceEpoch);
    if (_utime(path.c_str(), &times) != 0) {
        throw std::runtime_error("cannot set the time of " + path);
    }
#else
    struct utimbuf times {};
    times.actime = static_cast<time_t>(secondsSinceEpoch);
    times.modtime = static_cast<time_t>(secondsSinceEpoch);
    if (utime(path.c_str(), &times) != 0) {
        throw std::runtime_error("cannot set the time of " + path);
    }
#endif
}

std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string ConverterExe() {
    std::string path = KA_CONVERTER_EXE;
#ifdef _WIN32
    // Built on Linux, run under Wine: the Linux path is seen through drive Z:.
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
#endif
    return path;
}

}  // namespace ka::test
