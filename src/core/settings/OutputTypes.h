// Every output type the converter can be asked for, on the main window's two pages, and the rules
// that tie an output type to the comparison switch.
#pragma once

#include <array>
#include <optional>
#include <span>

namespace ka {

struct OutputType {
    int page;             // 1 "Output1" (stored as iOutTyp), 2 "Output2" (stored as iOutTyp2)
    int index;            // radio item on its page, the stored number
    const char* caption;  // text of the radio item
    const char* ext;      // output file extension, "" for display on screen
    char switchLetter;    // letter after "/" in the converter's arguments, 0 for none
    char lineLetter;      // letter after "/o" on KorvaneAuto's own command line, 0 for none
};

inline constexpr int kOutTypPdf = 0;
inline constexpr int kOutTypCmt = 20;
inline constexpr int kOutTypDisplay = 22;  // no output file: the converter shows the drawing
inline constexpr int kOutTypCount = 23;
inline constexpr int kOutTyp2Count = 8;

// Items 18 and 19 share "y": only the extension differs, and the command line reaches 18 only.
// Page 2 always passes "/f"; there the type travels in the extension.
inline constexpr std::array<OutputType, kOutTypCount + kOutTyp2Count> kOutputTypes{{
    {1, 0, "PDF", ".pdf", 'p', 'p'},        {1, 1, "TIFF", ".tif", 't', 't'},
    {1, 2, "DXF", ".dxf", 'd', 'd'},        {1, 3, "DWG", ".dwg", 'u', 'u'},
    {1, 4, "JPEG", ".jpg", 'j', 'j'},       {1, 5, "BITMAP", ".bmp", 'b', 'b'},
    {1, 6, "IGES", ".igs", 'i', 'i'},       {1, 7, "EMF", ".emf", 'e', 'e'},
    {1, 8, "XPS", ".xps", 'x', 'x'},        {1, 9, "PCL", ".pcl", 'l', 'l'},
    {1, 10, "WMF", ".wmf", 'w', 'w'},       {1, 11, "PS", ".ps", 's', 's'},
    {1, 12, "EPS", ".eps", 'k', 'k'},       {1, 13, "SVG", ".svg", 'v', 'v'},
    {1, 14, "GIF", ".gif", 'g', 'g'},       {1, 15, "PNG", ".png", 'm', 'm'},
    {1, 16, "PCX", ".pcx", 'r', 'r'},       {1, 17, "FPX", ".fpx", 'q', 'q'},
    {1, 18, "SXF(.p21)", ".p21", 'y', 'y'}, {1, 19, "SXF(.sfc)", ".sfc", 'y', 0},
    {1, 20, "CMT", ".cmt", 'a', 'a'},       {1, 21, "HGL/Printer", ".hgl", 'h', 'h'},
    {1, 22, "Screen display", "", 0, '0'},  {2, 0, "WMF", ".wmf", 'f', 0},
    {2, 1, "EMF", ".emf", 'f', 0},          {2, 2, "PS", ".ps", 'f', 0},
    {2, 3, "EPS", ".eps", 'f', 0},          {2, 4, "SVG", ".svg", 'f', 0},
    {2, 5, "XPS", ".xps", 'f', 0},          {2, 6, "HPGL", ".hgl", 'f', 0},
    {2, 7, "PCL", ".pcl", 'f', 0},
}};

// The items of one page, in index order.
constexpr std::span<const OutputType> OutputTypesOfPage(int page) {
    return page == 1 ? std::span(kOutputTypes).first(kOutTypCount)
                     : std::span(kOutputTypes).subspan(kOutTypCount);
}

// The page 1 item a command-line letter names.
constexpr std::optional<int> OutTypFromLineLetter(char letter) {
    for (const OutputType& type : OutputTypesOfPage(1)) {
        if (type.lineLetter != 0 && type.lineLetter == letter) {
            return type.index;
        }
    }
    return std::nullopt;
}

// A comparison writes no comment file: with comparison on, "CMT" becomes "PDF".
constexpr int AllowedOutTyp(int index, bool comparisonOn) {
    return comparisonOn && index == kOutTypCmt ? kOutTypPdf : index;
}

}  // namespace ka
