// Where the main window stood and how large it was, kept per user in section [Window] of
// "KorvaneAuto.ini" (never in the parameter file, which other tools read), and the rule that
// brings a remembered place back onto a screen that may have shrunk since.
#pragma once

#include <string>

namespace ka {

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ScreenRect&) const = default;
};

struct WindowPlacement {
    ScreenRect rect;  // the window's inner area when not maximised, in screen coordinates
    bool maximized = false;

    bool operator==(const WindowPlacement&) const = default;
};

inline constexpr const char* kWindowSection = "Window";

// False when the file holds no complete placement (missing file, keys or a size below 1).
bool LoadWindowPlacement(const std::string& dataDir, WindowPlacement& placement);
// Writes the placement into the file, keeping every other line; only when it changed. 0, or the
// error code.
int SaveWindowPlacement(const std::string& dataDir, const WindowPlacement& placement);

// A window's outer rectangle (title bar and borders included) moved and, where it must,
// shrunk to lie within area, the available part of a screen: never smaller than minimum unless
// the area itself is, and with its top-left corner inside the area so the title bar can be
// grasped.
ScreenRect FitIntoArea(const ScreenRect& frame, const ScreenRect& area, int minWidth,
                       int minHeight);

}  // namespace ka
