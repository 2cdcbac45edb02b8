// make_glyphs: pre-renders the toolkit's font table (gui/geometry.h) into
// a C++ source of 4-bit glyph coverage maps and GDI-like metrics, so the
// raster side draws text without a font library at run time.
//
//   make_glyphs OUTPUT.cpp REGULAR.ttf BOLD.ttf
//
// The faces are Liberation Sans regular and bold (Arial's metrics). Each
// font is rendered at an em size of the table's pixel size (GDI's height
// -size) times each editor scale, rounded as the drawing context rounds it,
// printable ASCII 32..126; the Symbol font takes the Greek letters and
// signs that the Windows Symbol encoding puts on those codes.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/geometry.h"
#include "gui/scale.h"

namespace {

using klv::gui::kFontTable;
using klv::gui::kNumFonts;

constexpr int kFirst = 32;
constexpr int kCount = 95;

// Unicode of the Symbol encoding's codes 32..126 (Adobe Symbol); 0 keeps
// the ASCII character, and so does a sign that Liberation Sans lacks
// (the forall, exists, such-that, asterisk, congruent, therefore,
// perpendicular and tilde operators on " $ ' * @ \ ^ ~).
constexpr std::uint16_t kSymbolMap[kCount] = {
    0,      0,      0x2200, 0,      0x2203, 0,      0,      0x220B,  // space ! " # $ % & '
    0,      0,      0x2217, 0,      0,      0x2212, 0,      0,       // ( ) * + , - . /
    0,      0,      0,      0,      0,      0,      0,      0,       // 0..7
    0,      0,      0,      0,      0,      0,      0,      0,       // 8 9 : ; < = > ?
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,  // @ A..G
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,  // H..O
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,  // P..W
    0x039E, 0x03A8, 0x0396, 0,      0x2234, 0,      0x22A5, 0,       // X Y Z [ \ ] ^ _
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,  // ` a..g
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,  // h..o
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,  // p..w
    0x03BE, 0x03C8, 0x03B6, 0,      0,      0,      0x223C,          // x y z { | } ~
};

struct GlyphOut {
    int left = 0, top = 0, width = 0, height = 0, advance = 0;
    std::uint32_t offset = 0;
    int code = 0;
};

// Rounds n * size / unitsPerEm to whole pixels, as GDI scales the OS/2
// table's Windows ascent and descent into tmAscent and tmDescent.
int scaleToPixels(int n, int size, int unitsPerEm) {
    return static_cast<int>(std::lround(static_cast<double>(n) * size / unitsPerEm));
}

// Coverage 0..255 to 4 bits, linear like GDI's grey glyph levels.
int level(unsigned char coverage) {
    return (coverage * 15 + 127) / 255;
}

// Renders one glyph. FreeType's auto-hinter, in its strong (monochrome)
// mode, snaps stems to whole pixels in both directions and widths: 9- and
// 10-pixel text gets solid one-pixel stems, where Liberation's own
// instructions leave vertical stems grey and digits blurred together. The
// advance stays the design advance rounded to whole pixels (Arial's width
// as GDI lays text out), and the hinted glyph is moved by whole pixels so
// that its ink is centred where the unhinted outline's ink is.
bool renderGlyph(FT_Face face, unsigned long code, GlyphOut& out, std::vector<std::uint8_t>& nibbles) {
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING) != 0) return false;
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    const FT_Pos designCentre = (box.xMin + box.xMax) / 2;  // 26.6 pixels
    out.advance = static_cast<int>(std::lround(face->glyph->linearHoriAdvance / 65536.0));

    if (FT_Load_Glyph(face, index, FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_MONO) != 0) return false;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    const int shift = static_cast<int>(std::lround((designCentre - (box.xMin + box.xMax) / 2) / 64.0));
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bm = face->glyph->bitmap;
    auto at = [&](int x, int y) { return level(bm.buffer[y * bm.pitch + x]); };

    // Crop rows and columns left empty.
    int x0 = static_cast<int>(bm.width), x1 = -1, y0 = static_cast<int>(bm.rows), y1 = -1;
    for (int y = 0; y < static_cast<int>(bm.rows); ++y) {
        for (int x = 0; x < static_cast<int>(bm.width); ++x) {
            if (at(x, y) == 0) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    if (x1 < 0) return true;  // blank (space)
    out.left = face->glyph->bitmap_left + x0 + shift;
    out.top = face->glyph->bitmap_top - y0;
    out.width = x1 - x0 + 1;
    out.height = y1 - y0 + 1;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) nibbles.push_back(static_cast<std::uint8_t>(at(x, y)));
    }
    return true;
}

// One table font at one scale.
struct FontOut {
    int id = 0;
    int pixelSize = 0;
    int ascent = 0;
    int descent = 0;
    std::vector<GlyphOut> glyphs;
};

void writeSource(std::FILE* f, const std::vector<FontOut>& fonts, const std::vector<std::uint8_t>& bytes) {
    std::fprintf(f,
                 "// Generated by tools/glyphs/make_glyphs from Liberation Sans (SIL Open Font\n"
                 "// License 1.1); do not edit.\n"
                 "#include \"gui/raster/glyph_data.h\"\n\n"
                 "namespace klv::gui::raster {\n\nnamespace {\n\n");
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        const klv::gui::FontInfo& info = kFontTable[fonts[i].id];
        std::fprintf(f, "// %s %d at %d pixels, weight %d\nconst Glyph kFont%zu[kGlyphCount] = {\n", info.face,
                     info.size, fonts[i].pixelSize, info.weight, i);
        for (const GlyphOut& g : fonts[i].glyphs) {
            std::fprintf(f, "    {%u, %d, %d, %d, %d, %d},  // %d\n", g.offset, g.left, g.top, g.width, g.height,
                         g.advance, g.code);
        }
        std::fprintf(f, "};\n\n");
    }
    std::fprintf(f, "}  // namespace\n\nconst GlyphFont kGlyphFonts[kGlyphFontCount] = {\n");
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        std::fprintf(f, "    {%d, %d, %d, kFont%zu},\n", fonts[i].pixelSize, fonts[i].ascent, fonts[i].descent, i);
    }
    std::fprintf(f, "};\n\n// %zu bytes\nconst std::uint8_t kGlyphCoverage[] = {", bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::fprintf(f, "%s0x%02x,", i % 16 == 0 ? "\n    " : " ", bytes[i]);
    }
    std::fprintf(f, "\n};\n\n}  // namespace klv::gui::raster\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_glyphs OUTPUT.cpp REGULAR.ttf BOLD.ttf\n");
        return 2;
    }
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) return 1;
    FT_Face faces[2];
    for (int i = 0; i < 2; ++i) {
        if (FT_New_Face(library, argv[2 + i], 0, &faces[i]) != 0) {
            std::fprintf(stderr, "make_glyphs: cannot open %s\n", argv[2 + i]);
            return 1;
        }
    }

    std::vector<FontOut> fonts;
    std::vector<std::uint8_t> bytes;
    for (int index = 0; index < klv::gui::kScaleCount * kNumFonts; ++index) {
        const int id = index % kNumFonts;
        const klv::gui::FontInfo& info = kFontTable[id];
        const int size = klv::gui::scaledLength(info.size, klv::gui::kScales[index / kNumFonts]);
        FT_Face face = faces[info.weight >= 700 ? 1 : 0];
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 == nullptr) return 1;
        FontOut font;
        font.id = id;
        font.pixelSize = size;
        font.ascent = scaleToPixels(os2->usWinAscent, size, face->units_per_EM);
        font.descent = scaleToPixels(os2->usWinDescent, size, face->units_per_EM);

        std::vector<GlyphOut>& glyphs = font.glyphs;
        for (int c = kFirst; c < kFirst + kCount; ++c) {
            const unsigned long symbol = info.symbol ? kSymbolMap[c - kFirst] : 0;
            GlyphOut g;
            g.code = c;
            g.offset = static_cast<std::uint32_t>(bytes.size());
            std::vector<std::uint8_t> nibbles;
            if (!(symbol != 0 && renderGlyph(face, symbol, g, nibbles)) &&
                !renderGlyph(face, static_cast<unsigned long>(c), g, nibbles)) {
                std::fprintf(stderr, "make_glyphs: no glyph for %d\n", c);
                return 1;
            }
            for (std::size_t i = 0; i < nibbles.size(); i += 2) {
                const int high = i + 1 < nibbles.size() ? nibbles[i + 1] : 0;
                bytes.push_back(static_cast<std::uint8_t>(nibbles[i] | high << 4));
            }
            glyphs.push_back(g);
        }
        fonts.push_back(std::move(font));
    }

    std::FILE* f = std::fopen(argv[1], "w");
    if (f == nullptr) return 1;
    writeSource(f, fonts, bytes);
    const bool ok = std::fclose(f) == 0;
    for (FT_Face face : faces) FT_Done_Face(face);
    FT_Done_FreeType(library);
    return ok ? 0 : 1;
}
