// The raster side pixel by pixel: fills, GDI lines, blits with the white
// key, offscreen copies, text placement, BMP decoding and PNG files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/raster/png_file.h"
#include "gui/raster/raster_surface.h"

namespace klv::gui::raster {
namespace {

constexpr std::uint32_t kBack = 0x101010;  // background of every test buffer
constexpr Color kPenColor{200, 40, 10, 0};
constexpr std::uint32_t kPen = 0xC8280A;
constexpr Rect kNothing{};

// The box of pixels that differ from kBack; kNothing when none do.
Rect changedBox(const PixelBuffer& b) {
    Rect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            if (b.at(x, y) == kBack) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                   std::max(box.bottom, y + 1)};
        }
    }
    return box.left == INT_MAX ? kNothing : box;
}

// Rects compare and print as {left, top, right, bottom}.
std::array<int, 4> edges(Rect r) {
    return {r.left, r.top, r.right, r.bottom};
}

// A buffer drawn on through a RasterSurface.
struct Canvas {
    PixelBuffer pixels;
    RasterSurface surface{pixels};
    explicit Canvas(int width = 8, int height = 6) : pixels(width, height, kBack) {}
};

// ---------------------------------------------------------------- fills

struct FillCase {
    Rect rect;
    Rect filled;  // what fillRect covers, clipped to the 8 x 6 buffer
};
void PrintTo(const FillCase& c, std::ostream* os) {
    *os << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
}

class FillTest : public testing::TestWithParam<FillCase> {};

TEST_P(FillTest, CoversLeftToRightMinusOneAndTopToBottomMinusOne) {
    Canvas c;
    c.surface.setBrush(kPenColor);
    c.surface.fillRect(GetParam().rect);
    const Rect f = GetParam().filled;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= f.left && x < f.right && y >= f.top && y < f.bottom;
            EXPECT_EQ(c.pixels.at(x, y), inside ? kPen : kBack) << x << "," << y;
        }
    }
    EXPECT_EQ(edges(c.surface.touched()), edges(f));
}

INSTANTIATE_TEST_SUITE_P(Rects, FillTest,
                         testing::Values(FillCase{{2, 3, 5, 6}, {2, 3, 5, 6}}, FillCase{{-5, -5, 2, 1}, {0, 0, 2, 1}},
                                         FillCase{{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 8, 6}},
                                         FillCase{{6, 4, INT_MAX, INT_MAX}, {6, 4, 8, 6}},
                                         FillCase{{5, 5, 2, 2}, kNothing}, FillCase{{3, 3, 3, 9}, kNothing},
                                         FillCase{{8, 0, 20, 6}, kNothing}));

// ---------------------------------------------------------------- lines

struct LineCase {
    const char* name;
    Point from, to;
    int width, style;
    std::vector<Point> pixels;  // every pixel in the pen colour (8 x 6 buffer)
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class LineTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineTest, DrawsExactlyThesePixels) {
    const LineCase& t = GetParam();
    Canvas c;
    c.surface.setPen(kPenColor, t.width, t.style);
    c.surface.moveTo(t.from);
    c.surface.lineTo(t.to);
    std::vector<std::pair<int, int>> drawn, expected;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            if (c.pixels.at(x, y) == kPen)
                drawn.emplace_back(x, y);
            else
                EXPECT_EQ(c.pixels.at(x, y), kBack);
        }
    }
    for (Point p : t.pixels) expected.emplace_back(p.x, p.y);
    std::sort(drawn.begin(), drawn.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(drawn, expected);
    EXPECT_EQ(edges(c.surface.touched()), edges(changedBox(c.pixels)));
}

// Expected pixels from the exact line rounded to the nearest pixel per
// major-axis step, end point left out; where the line passes midway
// (0.5), GDI's octant rule puts the pixel so that a line and its reverse
// cover the same pixels.
INSTANTIATE_TEST_SUITE_P(
    Lines, LineTest,
    testing::Values(
        LineCase{"horizontal", {1, 1}, {5, 1}, 1, kLineSolid, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        LineCase{"leftwards", {5, 2}, {1, 2}, 1, kLineSolid, {{5, 2}, {4, 2}, {3, 2}, {2, 2}}},
        LineCase{"vertical", {2, 0}, {2, 3}, 1, kLineSolid, {{2, 0}, {2, 1}, {2, 2}}},
        LineCase{"upwards", {6, 5}, {6, 2}, 1, kLineSolid, {{6, 5}, {6, 4}, {6, 3}}},
        LineCase{"diagonal", {0, 0}, {3, 3}, 1, kLineSolid, {{0, 0}, {1, 1}, {2, 2}}},
        LineCase{"antidiagonal", {4, 0}, {1, 3}, 1, kLineSolid, {{4, 0}, {3, 1}, {2, 2}}},
        LineCase{"shallow", {0, 0}, {4, 1}, 1, kLineSolid, {{0, 0}, {1, 0}, {2, 0}, {3, 1}}},
        LineCase{"shallowReversed", {4, 1}, {0, 0}, 1, kLineSolid, {{4, 1}, {3, 1}, {2, 0}, {1, 0}}},
        LineCase{"steep", {1, 0}, {2, 4}, 1, kLineSolid, {{1, 0}, {1, 1}, {1, 2}, {2, 3}}},
        LineCase{"zeroLength", {3, 3}, {3, 3}, 1, kLineSolid, {}},
        LineCase{"dotted", {0, 1}, {8, 1}, 1, kLineDotted, {{0, 1}, {1, 1}, {2, 1}, {6, 1}, {7, 1}}},
        LineCase{"wideIsSquarePen",
                 {2, 3},
                 {4, 3},
                 3,
                 kLineSolid,
                 {{1, 2}, {2, 2}, {3, 2}, {4, 2}, {1, 3}, {2, 3}, {3, 3}, {4, 3}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}},
        // 2 x 2 squares reach one pixel up and left of the path: row -1 is off the buffer
        LineCase{"wideDottedIsSolid", {0, 0}, {4, 0}, 2, kLineDotted, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        LineCase{"hugeHorizontal",
                 {INT_MIN, 4},
                 {INT_MAX, 4},
                 1,
                 kLineSolid,
                 {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}}},
        LineCase{"hugeVertical",
                 {5, INT_MAX},
                 {5, INT_MIN},
                 1,
                 kLineSolid,
                 {{5, 0}, {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}}},
        LineCase{"hugeDiagonal",
                 {-1000000000, -1000000000},
                 {1000000000, 1000000000},
                 1,
                 kLineSolid,
                 {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
        LineCase{
            "hugeSteep", {0, INT_MIN}, {2, INT_MAX}, 1, kLineSolid, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}}},
        LineCase{"outside", {-5, -1}, {20, -1}, 1, kLineSolid, {}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(LineToTest, EachLineStartsWhereTheLastEnded) {
    Canvas c;
    c.surface.setPen(kPenColor, 1, kLineSolid);
    c.surface.moveTo({1, 1});
    c.surface.lineTo({4, 1});
    c.surface.lineTo({4, 4});
    for (Point p : {Point{1, 1}, Point{2, 1}, Point{3, 1}, Point{4, 1}, Point{4, 2}, Point{4, 3}}) {
        EXPECT_EQ(c.pixels.at(p.x, p.y), kPen) << p.x << "," << p.y;
    }
    EXPECT_EQ(c.pixels.at(4, 4), kBack);
    EXPECT_EQ(edges(changedBox(c.pixels)), edges({1, 1, 5, 4}));
}

// ---------------------------------------------------------------- blits

// Deletes a Bitmap through its reference count.
struct BitmapRelease {
    void operator()(Bitmap* b) const { b->release(); }
};
using BitmapHandle = std::unique_ptr<Bitmap, BitmapRelease>;

constexpr std::uint32_t kA = 0x102030, kB = 0x405060, kC = 0x708090, kD = 0xFFFFFE;

// 3 x 2 source:  A W B
//                C D W   (W the white key, D one step from it)
BitmapHandle sourceBitmap() {
    PixelBuffer p(3, 2);
    p.pixels = {kA, kKeyPixel, kB, kC, kD, kKeyPixel};
    return BitmapHandle(new Bitmap(200, std::make_unique<RasterImage>(std::move(p))));
}

// A 5 x 4 picture as rows of '.' (kBack), 'A'..'D' and 'W' (white).
std::vector<std::string> picture(const PixelBuffer& b) {
    std::vector<std::string> rows;
    for (int y = 0; y < b.height; ++y) {
        std::string row;
        for (int x = 0; x < b.width; ++x) {
            const std::uint32_t p = b.at(x, y);
            row += p == kBack       ? '.'
                   : p == kA        ? 'A'
                   : p == kB        ? 'B'
                   : p == kC        ? 'C'
                   : p == kD        ? 'D'
                   : p == kKeyPixel ? 'W'
                                    : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

struct BlitCase {
    const char* name;
    Rect destination;
    Point source;
    bool transparent;
    std::vector<std::string> expected;
};

void PrintTo(const BlitCase& c, std::ostream* os) {
    *os << c.name;
}

class BlitTest : public testing::TestWithParam<BlitCase> {};

TEST_P(BlitTest, CopiesDestinationSizedPixelsFromTheSourceOffset) {
    const BlitCase& t = GetParam();
    Canvas c(5, 4);
    BitmapHandle bitmap = sourceBitmap();
    if (t.transparent)
        c.surface.drawBitmapTransparent(*bitmap->image(), t.destination, t.source);
    else
        c.surface.drawBitmap(*bitmap->image(), t.destination, t.source);
    EXPECT_EQ(picture(c.pixels), t.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Blits, BlitTest,
    testing::Values(
        BlitCase{"opaqueKeepsWhite", {1, 1, 4, 3}, {0, 0}, false, {".....", ".AWB.", ".CDW.", "....."}},
        BlitCase{"transparentSkipsWhite", {1, 1, 4, 3}, {0, 0}, true, {".....", ".A.B.", ".CD..", "....."}},
        BlitCase{"sourceOffset", {0, 0, 2, 2}, {1, 0}, false, {"WB...", "DW...", ".....", "....."}},
        BlitCase{"sourceOffsetBelow", {3, 2, 5, 3}, {0, 1}, false, {".....", ".....", "...CD", "....."}},
        BlitCase{"destinationLargerThanSource", {0, 0, 5, 4}, {0, 0}, false, {"AWB..", "CDW..", ".....", "....."}},
        BlitCase{"negativeSourceOffset", {0, 0, 3, 3}, {-1, -1}, false, {".....", ".AW..", ".CD..", "....."}},
        BlitCase{"clippedTopLeft", {-1, -1, 2, 1}, {0, 0}, false, {"DW...", ".....", ".....", "....."}},
        BlitCase{"clippedBottomRight", {4, 3, 7, 5}, {0, 0}, true, {".....", ".....", ".....", "....A"}},
        BlitCase{"hugeDestination",
                 {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                 {INT_MIN, INT_MIN},
                 false,
                 {"AWB..", "CDW..", ".....", "....."}},
        BlitCase{"hugeSourceOffset", {0, 0, 5, 4}, {INT_MAX, INT_MAX}, false, {".....", ".....", ".....", "....."}},
        BlitCase{"emptyDestination", {3, 3, 1, 1}, {0, 0}, false, {".....", ".....", ".....", "....."}}),
    [](const testing::TestParamInfo<BlitCase>& info) { return std::string(info.param.name); });

TEST(EmptyBitmapTest, DrawsNothing) {
    Canvas c;
    BitmapHandle empty(new Bitmap(201, std::unique_ptr<BitmapImage>()));
    BitmapHandle zero(new Bitmap(202, std::make_unique<RasterImage>(PixelBuffer(0, 0))));
    gui::DrawContext context(nullptr, &c.surface, nullptr);
    for (Bitmap* b : {empty.get(), zero.get()}) {
        b->draw(context, {0, 0, 8, 6});
        b->drawTransparent(context, {0, 0, 8, 6});
    }
    EXPECT_EQ(edges(changedBox(c.pixels)), edges(kNothing));
    EXPECT_EQ(edges(c.surface.touched()), edges(kNothing));
}

TEST(CopyTest, CopiesOneBlockIntoAnotherSurface) {
    Canvas from(4, 4), to(4, 4);
    for (int i = 0; i < 16; ++i) from.pixels.pixels[i] = 0x010000u * (i + 1);
    from.surface.copyTo(to.surface, {1, 1, 3, 4}, {2, 1});
    // Destination (1..2, 1..3) takes source columns 2..3, rows 1..3 (pixel
    // value (index + 1) * 0x10000).
    const std::vector<std::uint32_t> expected = {
        kBack, kBack,    kBack,    kBack,  //
        kBack, 0x070000, 0x080000, kBack,  //
        kBack, 0x0B0000, 0x0C0000, kBack,  //
        kBack, 0x0F0000, 0x100000, kBack,
    };
    EXPECT_EQ(to.pixels.pixels, expected);
    EXPECT_EQ(edges(to.surface.touched()), edges({1, 1, 3, 4}));
    EXPECT_EQ(edges(from.surface.touched()), edges(kNothing));
}

TEST(CopyTest, OverlappingCopyWithinOneSurfaceReadsTheOldPixels) {
    Canvas c(4, 1);
    c.pixels.pixels = {1, 2, 3, 4};
    c.surface.copyTo(c.surface, {1, 0, 4, 1}, {0, 0});
    EXPECT_EQ(c.pixels.pixels, (std::vector<std::uint32_t>{1, 1, 2, 3}));
}

TEST(TouchedTest, GrowsOverEveryWriteUntilReset) {
    Canvas c(20, 20);
    c.surface.setBrush(kPenColor);
    c.surface.setPen(kPenColor, 1, kLineSolid);
    c.surface.fillRect({2, 3, 4, 5});
    c.surface.moveTo({10, 12});
    c.surface.lineTo({10, 15});
    EXPECT_EQ(edges(c.surface.touched()), edges({2, 3, 11, 15}));
    c.surface.resetTouched();
    EXPECT_EQ(edges(c.surface.touched()), edges(kNothing));
    c.surface.fillRect({30, 30, 40, 40});  // nothing inside the buffer
    c.surface.moveTo({-4, -4});
    c.surface.lineTo({-4, 40});
    EXPECT_EQ(edges(c.surface.touched()), edges(kNothing));
}

// ---------------------------------------------------------------- text

// Advance widths of Arial (font units of 2048 to the em) scaled to 9
// pixels and rounded: digits and d 1139 -> 5, B 1366 -> 6, - 682 -> 3,
// . and space 569 -> 3, m 1706 -> 7, i 455 -> 2, W 1933 -> 8. At 18
// pixels digits take 10, bold 12 pixels: B 1479 -> 9.
TEST(TextTest, WidthsAreArialsRoundedAdvances) {
    struct Case {
        int font;
        const char* text;
        int width;
    } cases[] = {
        {6, "2500", 20},
        {6, "-12.5dB", 32},
        {6, "mi W", 20},
        {1, "00", 20},
        {0, "B", 9},
        {6, "", 0},
        {6,
         "2\x01\xe9"
         "5",
         10},  // bytes outside printable ASCII take no room
    };
    for (const Case& t : cases) EXPECT_EQ(textWidth(t.font, t.text), t.width) << t.font << " " << t.text;
    EXPECT_EQ(textWidth(6, nullptr), 0);
}

struct TextCase {
    const char* name;
    Rect r;
    int alignment;
    Rect cell;  // text width 20 ("2500" at 9 pixels) x line height 8 + 2, clipped to 80 x 24
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class TextPlacementTest : public testing::TestWithParam<TextCase> {};

// The text colour is the back colour, so the opaque cell shows as one
// block whatever the glyphs are.
TEST_P(TextPlacementTest, OpaqueCellSitsWhereDrawTextPutsIt) {
    const TextCase& t = GetParam();
    Canvas c(80, 24);
    c.surface.setFont(6, 9);
    c.surface.setBackColor(kPenColor);
    c.surface.setTextColor(kPenColor);
    c.surface.drawText("2500", t.r, t.alignment, true);
    EXPECT_EQ(edges(changedBox(c.pixels)), edges(t.cell));
    EXPECT_EQ(edges(c.surface.touched()), edges(t.cell));
    for (int y = t.cell.top; y < t.cell.bottom; ++y) {
        for (int x = t.cell.left; x < t.cell.right; ++x) ASSERT_EQ(c.pixels.at(x, y), kPen) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Alignments, TextPlacementTest,
    testing::Values(TextCase{"left", {10, 0, 70, 20}, kAlignLeft, {10, 5, 30, 15}},
                    TextCase{"otherValuesAlignLeft", {10, 0, 70, 20}, 7, {10, 5, 30, 15}},
                    TextCase{"centre", {10, 0, 70, 20}, kAlignCenter, {30, 5, 50, 15}},
                    TextCase{"centreOddSpace", {10, 3, 71, 18}, kAlignCenter, {30, 5, 50, 15}},
                    TextCase{"right", {10, 0, 70, 20}, kAlignRight, {50, 5, 70, 15}},
                    TextCase{"narrowerThanText", {40, 10, 50, 12}, kAlignCenter, {35, 6, 55, 16}},
                    TextCase{"notClippedByRect", {75, 0, 78, 4}, kAlignLeft, {75, 0, 80, 7}},
                    // x = INT_MIN + (UINT_MAX - 20) / 2 = -11: the cell spans -11..8
                    TextCase{"hugeCentred", {INT_MIN, 0, INT_MAX, 20}, kAlignCenter, {0, 5, 9, 15}},
                    TextCase{"hugeNegative", {INT_MIN, INT_MIN, INT_MIN + 10, INT_MIN + 10}, kAlignRight, kNothing},
                    TextCase{"hugePositive", {INT_MAX - 4, INT_MAX - 4, INT_MAX, INT_MAX}, kAlignLeft, kNothing}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(TextTest, TransparentTextBlendsTheTextColourInsideItsCell) {
    Canvas c(40, 16);
    c.surface.setFont(6, 9);
    c.surface.setBackColor(kPenColor);
    c.surface.setTextColor(kWhite);
    c.surface.drawText("-12.5dB", {4, 0, 40, 16}, kAlignLeft, false);
    const Rect ink = changedBox(c.pixels);
    // Cell {4, 3, 36, 13}, baseline at 3 + 8 = 11: the ink stays inside.
    EXPECT_GE(ink.left, 4);
    EXPECT_LE(ink.right, 36);
    EXPECT_GE(ink.top, 3);
    EXPECT_LE(ink.bottom, 11);
    EXPECT_EQ(edges(c.surface.touched()), edges(ink));
    int solid = 0;
    for (std::uint32_t p : c.pixels.pixels) {
        const Color v = unpackPixel(p);
        EXPECT_TRUE(v.red == v.green && v.green == v.blue && v.red >= 0x10) << std::hex << p;  // grey ramp
        solid += p == 0xFFFFFF;
    }
    EXPECT_GT(solid, 20);  // hinted stems reach full coverage
}

TEST(TextTest, NullTextDrawsNothing) {
    Canvas c;
    c.surface.drawText(nullptr, {0, 0, 8, 6}, kAlignLeft, true);
    EXPECT_EQ(edges(changedBox(c.pixels)), edges(kNothing));
}

// ---------------------------------------------------------------- BMP

// A BMP file: 14-byte file header, 40-byte info header, rows of blue,
// green, red bytes padded to 4 with 0xEE (which must never show).
std::vector<unsigned char> bmpFile(int width, int height, int bits, const std::vector<std::uint32_t>& topDown) {
    const int stride = (width * 3 + 3) / 4 * 4;
    const int rows = height < 0 ? -height : height;
    std::vector<unsigned char> f;
    auto put = [&f](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    f.push_back('B'), f.push_back('M');
    put(54 + stride * rows, 4), put(0, 4), put(54, 4);
    put(40, 4), put(width, 4), put(height, 4), put(1, 2), put(bits, 2), put(0, 4);
    put(stride * rows, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    for (int r = 0; r < rows; ++r) {
        const int y = height < 0 ? r : rows - 1 - r;  // bottom-up files start with the last row
        for (int x = 0; x < width; ++x) put(topDown[y * width + x], 3);
        for (int p = width * 3; p < stride; ++p) f.push_back(0xEE);
    }
    return f;
}

const std::vector<std::uint32_t> kThreeByTwo = {0x112233, 0x445566, 0x778899, 0xAABBCC, 0xDDEEFF, 0x010203};

TEST(BmpTest, DecodesBottomUpAndTopDownRows) {
    for (int height : {2, -2}) {
        const auto file = bmpFile(3, height, 24, kThreeByTwo);
        ASSERT_EQ(file.size(), 54u + 2 * 12);  // 9 bytes of pixels + 3 of padding a row
        const auto image = decodeBmp(file.data(), file.size());
        ASSERT_TRUE(image) << height;
        EXPECT_EQ(image->width(), 3);
        EXPECT_EQ(image->height(), 2);
        EXPECT_EQ(image->pixels().pixels, kThreeByTwo) << height;
    }
}

TEST(BmpTest, RejectsWhatIsNotAComplete24BitFile) {
    const auto good = bmpFile(3, 2, 24, kThreeByTwo);
    auto eightBit = bmpFile(3, 2, 8, kThreeByTwo);
    auto compressed = good, notBm = good, zeroWidth = good;
    compressed[30] = 1;
    notBm[1] = 'A';
    zeroWidth[18] = 0;
    const struct {
        const char* name;
        const std::vector<unsigned char>& data;
        std::size_t size;
    } cases[] = {
        {"8-bit", eightBit, eightBit.size()},      {"compressed", compressed, compressed.size()},
        {"not BM", notBm, notBm.size()},           {"zero width", zeroWidth, zeroWidth.size()},
        {"last pixel cut", good, good.size() - 4}, {"header cut", good, 30},
    };
    for (const auto& t : cases) EXPECT_FALSE(decodeBmp(t.data.data(), t.size)) << t.name;
    EXPECT_FALSE(decodeBmp(nullptr, 0));
    EXPECT_TRUE(decodeBmp(good.data(), good.size() - 3)) << "only the last row's padding missing";
}

TEST(BmpTest, LoadsByTheLow16BitsOfTheResourceId) {
    const auto first = bmpFile(3, 2, 24, kThreeByTwo);
    const auto second = bmpFile(1, 1, 24, {0x123456});
    const EmbeddedResource entries[] = {{128, first.data(), first.size()}, {129, second.data(), second.size()}};
    const ResourceTable table{entries, 2};
    const auto image = loadBitmapImage(0x20000 | 129, &table);
    ASSERT_TRUE(image);
    EXPECT_EQ(static_cast<RasterImage&>(*image).pixels().pixels, std::vector<std::uint32_t>{0x123456});
    EXPECT_FALSE(loadBitmapImage(130, &table));
    EXPECT_FALSE(loadBitmapImage(128, nullptr));

    BitmapHandle bitmap(new Bitmap(128, &table));
    EXPECT_EQ(bitmap->width(), 3);
    EXPECT_EQ(bitmap->height(), 2);
}

// ---------------------------------------------------------------- PNG

TEST(PngTest, WrittenFileReadsBackTheSamePixels) {
    PixelBuffer pixels(7, 3);
    for (int i = 0; i < 21; ++i) pixels.pixels[i] = 0x9E3779u * (i + 1) & 0xFFFFFF;
    const std::string path = testing::TempDir() + "raster_round_trip.png";
    ASSERT_TRUE(writePng(pixels, path));
    PixelBuffer back;
    ASSERT_TRUE(readPng(path, back));
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.pixels, pixels.pixels);
    std::remove(path.c_str());
}

// 4 x 5 pictures whose rows use filters 0 (none), 1 (sub), 2 (up),
// 3 (average) and 4 (Paeth), made with Python's zlib; pixel (x, y) is
// red 37x + 11y, green 200 - 23y + 5x, blue 91xy + 7 (mod 256), and the
// RGBA one has alpha 60x + 17y.
const std::vector<unsigned char> kRgbPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x08, 0x02, 0x00, 0x00, 0x00, 0xed, 0xcf, 0xda, 0x8c, 0x00, 0x00, 0x00,
    0x42, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60, 0x38, 0xc1, 0xae, 0x7a, 0x96, 0xdd, 0xeb, 0x12, 0x7b,
    0xfe, 0x75, 0x76, 0x46, 0xee, 0x8d, 0xec, 0xaa, 0xac, 0xd1, 0x10, 0xc4, 0xc4, 0xfd, 0x92, 0x81, 0xfb, 0x65,
    0x34, 0xf7, 0xcb, 0x6d, 0xdc, 0x2f, 0x05, 0x99, 0xc5, 0xcc, 0x58, 0x24, 0xbe, 0x6f, 0x93, 0xf8, 0xfe, 0x44,
    0xe2, 0xbb, 0x20, 0x0b, 0x48, 0x86, 0x35, 0x9a, 0x9b, 0x35, 0x07, 0x88, 0x00, 0x6e, 0xf4, 0x13, 0x06, 0x5e,
    0x36, 0xac, 0x94, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
const std::vector<unsigned char> kRgbaPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x04, 0x00, 0x00, 0x00, 0x05, 0x08, 0x06, 0x00, 0x00, 0x00, 0x62, 0xad, 0x4d, 0xdb, 0x00, 0x00, 0x00, 0x4c, 0x49,
    0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60, 0x38, 0xc1, 0xce, 0xa0, 0x7a, 0x96, 0xdd, 0xc6, 0xeb, 0x12, 0x7b, 0x45,
    0xfe, 0x75, 0xf6, 0x2d, 0x8c, 0xdc, 0x1b, 0xd9, 0x05, 0x55, 0x59, 0xa3, 0x6d, 0x60, 0x98, 0x89, 0xfb, 0x25, 0x83,
    0x20, 0xf7, 0xcb, 0x68, 0x20, 0xde, 0x06, 0xc4, 0x82, 0x82, 0xcc, 0x62, 0x66, 0x2c, 0x4a, 0x12, 0xdf, 0xb7, 0xa9,
    0x4b, 0x7c, 0x7f, 0x02, 0xc4, 0x82, 0xea, 0x2c, 0x60, 0x15, 0xac, 0x40, 0x15, 0xac, 0x39, 0x60, 0x0c, 0x00, 0xe4,
    0x35, 0x16, 0x52, 0x6c, 0x07, 0xaa, 0xf5, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

std::string writeBytes(const std::vector<unsigned char>& bytes, const char* name) {
    const std::string path = testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

TEST(PngTest, ReadsRgbAndRgbaThroughAllFiveFilters) {
    for (const auto* file : {&kRgbPng, &kRgbaPng}) {
        const std::string path = writeBytes(*file, "raster_filters.png");
        PixelBuffer p;
        ASSERT_TRUE(readPng(path, p));
        ASSERT_EQ(p.width, 4);
        ASSERT_EQ(p.height, 5);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 4; ++x) {
                const std::uint32_t r = (37 * x + 11 * y) & 255, g = (200 - 23 * y + 5 * x) & 255,
                                    b = (91 * x * y + 7) & 255;
                EXPECT_EQ(p.at(x, y), r << 16 | g << 8 | b) << x << "," << y;
            }
        }
        std::remove(path.c_str());
    }
}

TEST(PngTest, DamagedOrMissingFilesLeaveTheBufferAlone) {
    auto badCrc = kRgbPng;
    badCrc[40] ^= 1;  // inside IDAT
    auto interlaced = kRgbPng;
    interlaced[28] = 1;  // the IHDR's interlace method, with the chunk's CRC made right again
    const auto crc = static_cast<std::uint32_t>(crc32(0, &interlaced[12], 17));
    for (int i = 0; i < 4; ++i) interlaced[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    for (const auto* bytes : {&badCrc, &interlaced}) {
        const std::string path = writeBytes(*bytes, "raster_damaged.png");
        PixelBuffer p(1, 1, 7);
        EXPECT_FALSE(readPng(path, p));
        EXPECT_EQ(p.pixels, std::vector<std::uint32_t>{7});
        std::remove(path.c_str());
    }
    PixelBuffer p;
    EXPECT_FALSE(readPng(testing::TempDir() + "raster_no_such_file.png", p));
    EXPECT_FALSE(writePng(PixelBuffer(0, 0), testing::TempDir() + "raster_empty.png"));
}

}  // namespace
}  // namespace klv::gui::raster
