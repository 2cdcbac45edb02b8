// The pre-rendered font table of the raster side: glyph coverage maps and
// metrics of the eight table fonts at every editor scale, generated at build
// time by tools/glyphs/make_glyphs.cpp from Liberation Sans (Arial's
// metrics).
#pragma once

#include <cstdint>

#include "gui/geometry.h"
#include "gui/scale.h"

namespace klv::gui::raster {

// Glyphs of printable ASCII, character code - kFirstGlyph.
constexpr int kFirstGlyph = 32;
constexpr int kGlyphCount = 95;
// Coverage is stored in 4 bits (GDI's grey glyphs have 17 levels): 0 is
// untouched, kFullCoverage is solid.
constexpr int kFullCoverage = 15;

struct Glyph {
    std::uint32_t offset;  // first byte of the coverage map in kGlyphCoverage
    std::int8_t left;      // bitmap column 0 relative to the pen position
    std::int8_t top;       // bitmap row 0 above the baseline (pixels, up is positive)
    std::uint8_t width;
    std::uint8_t height;
    std::uint8_t advance;  // whole pixels
};

struct GlyphFont {
    int pixelSize;  // the em size it was rendered at
    int ascent;     // pixels above the baseline
    int descent;    // pixels below it; ascent + descent is the line height
    const Glyph* glyphs;
};

// Font id at scale kScales[i] is kGlyphFonts[i * kNumFonts + id].
constexpr int kGlyphFontCount = kScaleCount * kNumFonts;
extern const GlyphFont kGlyphFonts[kGlyphFontCount];
// Coverage maps, two pixels a byte (even pixel in the low nibble), rows
// top to bottom without padding; each map starts on a byte.
extern const std::uint8_t kGlyphCoverage[];

inline int glyphCoverage(const Glyph& g, int x, int y) {
    const int i = y * g.width + x;
    const std::uint8_t b = kGlyphCoverage[g.offset + static_cast<std::uint32_t>(i >> 1)];
    return (i & 1) ? b >> 4 : b & 0x0F;
}

}  // namespace klv::gui::raster
