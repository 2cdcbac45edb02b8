// Geometry and colour records of the toolkit, the module-wide colour
// constants and the font table.
#pragma once

#include <cstdint>

namespace klv::gui {

struct Point {
    int x = 0;
    int y = 0;
};

// A position in frame coordinates with the precision of the device: on a
// screen of twice the density the pointer moves in halves of a design
// pixel.
struct PointF {
    float x = 0.0f;
    float y = 0.0f;
};

// Frame coordinates; right and bottom are exclusive for fills and blits and
// inclusive for hit tests (see containsInclusive).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // Hit tests of views take all four edges as inside.
    bool containsInclusive(Point p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
    bool containsInclusive(PointF p) const {
        return p.x >= static_cast<float>(left) && p.x <= static_cast<float>(right) && p.y >= static_cast<float>(top) &&
               p.y <= static_cast<float>(bottom);
    }
    Rect moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
};

// Red, green, blue and a fourth byte that is 0 in every constant and plays
// no part in drawing.
struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t unused = 0;
};

inline bool sameRgb(Color a, Color b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
// The system's colour value: red | green << 8 | blue << 16.
inline std::uint32_t systemColor(Color c) {
    return static_cast<std::uint32_t>(c.red) | static_cast<std::uint32_t>(c.green) << 8 |
           static_cast<std::uint32_t>(c.blue) << 16;
}

constexpr Color kBlack{0, 0, 0, 0};
constexpr Color kRed{255, 0, 0, 0};
constexpr Color kCyan{0, 255, 255, 0};
constexpr Color kGrey{127, 127, 127, 0};
constexpr Color kMagenta{255, 0, 255, 0};
constexpr Color kYellow{255, 255, 0, 0};
constexpr Color kWhite{255, 255, 255, 0};
constexpr Color kGreen{0, 255, 0, 0};
constexpr Color kBlue{0, 0, 255, 0};
// Pixels of exactly this colour are left out by transparent blits.
constexpr Color kTransparentKey{255, 255, 255, 0};

// Bits of getMouseButtons.
enum MouseBits : unsigned {
    kLeftButton = 1,
    kMiddleButton = 2,
    kRightButton = 4,
    kShiftKey = 8,
    kControlKey = 16,
    kAltKey = 32,
};

enum TextAlignment { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };
enum LineStyle { kLineSolid = 0, kLineDotted = 1 };

struct FontInfo {
    const char* face;
    int size;     // pixels (character height)
    int weight;   // 400 normal, 700 bold
    bool symbol;  // the decorative family
};

constexpr int kNumFonts = 8;
constexpr FontInfo kFontTable[kNumFonts] = {
    {"Arial", 12, 700, false},  // 0
    {"Arial", 18, 400, false},  // 1
    {"Arial", 14, 400, false},  // 2
    {"Arial", 12, 400, false},  // 3
    {"Arial", 11, 400, false},  // 4
    {"Arial", 10, 400, false},  // 5
    {"Arial", 9, 400, false},   // 6
    {"Symbol", 13, 400, true},  // 7
};

}  // namespace klv::gui
