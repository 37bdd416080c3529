#include "settings/WindowPlacement.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "settings/RunSettings.h"

namespace ka {

namespace {

struct PlacementKey {
    const char* key;
    int ScreenRect::*member;
};

constexpr PlacementKey kKeys[] = {{"Left", &ScreenRect::x},
                                  {"Top", &ScreenRect::y},
                                  {"Width", &ScreenRect::width},
                                  {"Height", &ScreenRect::height}};
constexpr const char* kMaximizedKey = "Maximized";

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// Places one extent [pos, pos + size) within [start, start + room). A minimum larger than the
// room wins: the window is then as small as it can be, at the area's start.
void FitSpan(int& pos, int& size, int start, int room, int minimum) {
    room = std::max(room, 1);
    minimum = std::max(minimum, 1);
    size = minimum > room ? minimum : std::clamp(size, minimum, room);
    pos = std::clamp(pos, start, std::max(start, start + room - size));
}

}  // namespace

bool LoadWindowPlacement(const std::string& dataDir, WindowPlacement& placement) {
    IniFile file;
    if (dataDir.empty() || !file.Load(RunSettingsPath(dataDir))) {
        return false;
    }
    WindowPlacement read;
    std::string value;
    for (const PlacementKey& key : kKeys) {
        if (!file.Get(kWindowSection, key.key, value) || !ParseInt(value, read.rect.*key.member)) {
            return false;
        }
    }
    if (read.rect.width < 1 || read.rect.height < 1) {
        return false;
    }
    read.maximized = file.Get(kWindowSection, kMaximizedKey, value) && value == "1";
    placement = read;
    return true;
}

int SaveWindowPlacement(const std::string& dataDir, const WindowPlacement& placement) {
    return UpdateRunSettingsFile(dataDir, [&](IniFile& file) {
        for (const PlacementKey& key : kKeys) {
            file.Set(kWindowSection, key.key, std::to_string(placement.rect.*key.member));
        }
        file.Set(kWindowSection, kMaximizedKey, placement.maximized ? "1" : "0");
    });
}

ScreenRect FitIntoArea(const ScreenRect& frame, const ScreenRect& area, int minWidth,
                       int minHeight) {
    ScreenRect fitted = frame;
    FitSpan(fitted.x, fitted.width, area.x, area.width, minWidth);
    FitSpan(fitted.y, fitted.height, area.y, area.height, minHeight);
    return fitted;
}

}  // namespace ka
