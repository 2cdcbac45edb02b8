// Text of the raster side: DrawText with DT_SINGLELINE | DT_VCENTER and the
// three alignments, glyphs from the pre-rendered font table (glyph_data.h)
// blended in the text colour by their coverage.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "gui/raster/glyph_data.h"
#include "gui/raster/raster_surface.h"

namespace klv::gui::raster {

namespace {

// The table font id rendered nearest to pixelSize (0: its table size).
const GlyphFont& fontOf(int id, int pixelSize) {
    if (id < 0 || id >= kNumFonts) id = 0;
    const GlyphFont* best = &kGlyphFonts[id];
    if (pixelSize <= 0) return *best;
    for (int s = 1; s < kScaleCount; ++s) {
        const GlyphFont& f = kGlyphFonts[s * kNumFonts + id];
        if (std::abs(f.pixelSize - pixelSize) < std::abs(best->pixelSize - pixelSize)) best = &f;
    }
    return *best;
}

// Null for bytes outside printable ASCII: they draw nothing and take no room.
const Glyph* glyphOf(const GlyphFont& font, char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code < kFirstGlyph || code >= kFirstGlyph + kGlyphCount) return nullptr;
    return &font.glyphs[code - kFirstGlyph];
}

long long widthOf(const GlyphFont& font, const char* text) {
    long long width = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (const Glyph* g = glyphOf(font, *c)) width += g->advance;
    }
    return width;
}

// coverage (0..255) of colour over pixel, per channel, rounded.
std::uint32_t blend(std::uint32_t pixel, std::uint32_t colour, unsigned coverage) {
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const unsigned d = pixel >> shift & 0xFF;
        const unsigned c = colour >> shift & 0xFF;
        out |= ((c * coverage + d * (255 - coverage) + 127) / 255) << shift;
    }
    return out;
}

}  // namespace

int textWidth(int fontId, const char* text, int pixelSize) {
    if (text == nullptr) return 0;
    return static_cast<int>(std::min<long long>(widthOf(fontOf(fontId, pixelSize), text), INT_MAX));
}

// The text cell is the text's width (the sum of the advances) by the line
// height (ascent + descent), placed as DrawText places it:
//   top  = r.top + (r.height - lineHeight) / 2
//   left = r.left (left), r.left + (r.width - width) / 2 (centre), r.right - width (right).
// Only the buffer clips; r does not.
void RasterSurface::drawText(const char* text, Rect r, int alignment, bool opaque) {
    if (text == nullptr) return;
    const GlyphFont& font = fontOf(fontId_, fontSize_);
    const long long width = widthOf(font, text);
    const long long lineHeight = font.ascent + font.descent;
    long long x = r.left;
    if (alignment == kAlignCenter) {
        x += (static_cast<long long>(r.right) - r.left - width) / 2;
    } else if (alignment == kAlignRight) {
        x = r.right - width;
    }
    const long long top = r.top + (static_cast<long long>(r.bottom) - r.top - lineHeight) / 2;
    if (opaque) fill(x, top, x + width, top + lineHeight, backColour_);

    const long long baseline = top + font.ascent;
    for (const char* c = text; *c != '\0' && x < target_.width + 256; ++c) {
        const Glyph* g = glyphOf(font, *c);
        if (g == nullptr) continue;
        const long long left = x + g->left;
        const long long glyphTop = baseline - g->top;
        x += g->advance;
        const int gx0 = static_cast<int>(std::clamp<long long>(-left, 0, g->width));
        const int gy0 = static_cast<int>(std::clamp<long long>(-glyphTop, 0, g->height));
        const int gx1 = static_cast<int>(std::clamp<long long>(target_.width - left, 0, g->width));
        const int gy1 = static_cast<int>(std::clamp<long long>(target_.height - glyphTop, 0, g->height));
        if (gx0 >= gx1 || gy0 >= gy1) continue;
        for (int gy = gy0; gy < gy1; ++gy) {
            for (int gx = gx0; gx < gx1; ++gx) {
                const int level = glyphCoverage(*g, gx, gy);
                if (level == 0) continue;
                std::uint32_t& pixel = target_.at(static_cast<int>(left + gx), static_cast<int>(glyphTop + gy));
                pixel = level == kFullCoverage
                            ? textColour_
                            : blend(pixel, textColour_, static_cast<unsigned>(level) * 255 / kFullCoverage);
            }
        }
        touch(static_cast<int>(left + gx0), static_cast<int>(glyphTop + gy0), static_cast<int>(left + gx1),
              static_cast<int>(glyphTop + gy1));
    }
}

}  // namespace klv::gui::raster
