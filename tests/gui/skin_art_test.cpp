// The larger skin art on its way to the screen: PNG files read with our own
// inflate (against zlib's output of every block kind), damaged files
// refused, and the filter to the scales between: frames that never bleed
// into each other, a transparency key that survives without a light fringe.
#include "gui/skin_art.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gui/inflate.h"
#include "gui/png_decode.h"
#include "gui/raster/png_file.h"

namespace klv::test {
namespace {

using gui::raster::kKeyPixel;
using gui::raster::PixelBuffer;

// Bytes with long runs and noise, as art rows have.
std::vector<std::uint8_t> sampleBytes(std::size_t n) {
    std::vector<std::uint8_t> out(n);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        out[i] = (i / 700) % 3 == 0 ? static_cast<std::uint8_t>(i / 7) : static_cast<std::uint8_t>(state >> 24);
    }
    return out;
}

std::vector<std::uint8_t> zlibCompress(const std::vector<std::uint8_t>& data, int level, int strategy) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(Inflate, EveryBlockKindAndDamage) {
    const std::vector<std::uint8_t> data = sampleBytes(100000);
    const struct {
        const char* kind;
        int level, strategy;
    } kinds[] = {{"stored", 0, Z_DEFAULT_STRATEGY},
                 {"fixed", 9, Z_FIXED},
                 {"dynamic", 9, Z_DEFAULT_STRATEGY},
                 {"runs", 9, Z_RLE}};
    for (const auto& k : kinds) {
        const std::vector<std::uint8_t> packed = zlibCompress(data, k.level, k.strategy);
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(gui::inflateZlib(packed.data(), packed.size(), data.size(), out)) << k.kind;
        EXPECT_EQ(out, data) << k.kind;
        // Too little room, a cut stream, a flipped bit: refused.
        EXPECT_FALSE(gui::inflateZlib(packed.data(), packed.size(), data.size() - 1, out)) << k.kind;
        EXPECT_FALSE(gui::inflateZlib(packed.data(), packed.size() - 5, data.size(), out)) << k.kind;
        std::vector<std::uint8_t> flipped = packed;
        flipped[flipped.size() / 2] ^= 0x10;
        EXPECT_FALSE(gui::inflateZlib(flipped.data(), flipped.size(), data.size(), out)) << k.kind;
    }
    EXPECT_EQ(gui::crc32Of(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(PngDecode, ReadsWhatThePictureWriterWritesAndRefusesDamage) {
    PixelBuffer picture(37, 23);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            picture.at(x, y) = static_cast<std::uint32_t>(x * 0x070503 + y * 0x010911) & 0xFFFFFFu;
    }
    const std::string path = ::testing::TempDir() + "/klv-png-decode.png";
    ASSERT_TRUE(gui::raster::writePng(picture, path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<std::uint8_t> file(1 << 16);
    file.resize(std::fread(file.data(), 1, file.size(), f));
    std::fclose(f);
    std::remove(path.c_str());
    PixelBuffer read;
    ASSERT_TRUE(gui::decodePng(file.data(), file.size(), read));
    EXPECT_EQ(read.width, picture.width);
    EXPECT_EQ(read.pixels, picture.pixels);
    for (std::size_t at : {std::size_t{3}, std::size_t{20}, file.size() / 2, file.size() - 6}) {
        std::vector<std::uint8_t> damaged = file;
        damaged[at] ^= 0x01;
        EXPECT_FALSE(gui::decodePng(damaged.data(), damaged.size(), read)) << at;
    }
    EXPECT_FALSE(gui::decodePng(file.data(), file.size() - 20, read));
}

// Art at 2 of a two-frame key (frame 0 red, frame 1 blue) and of a handle:
// a disk of one colour on the key.
PixelBuffer framesAt2() {
    PixelBuffer art(20, 52);  // 10 x 26 design, frames of 13
    for (int y = 0; y < art.height; ++y) {
        for (int x = 0; x < art.width; ++x) art.at(x, y) = y < 26 ? 0xC00000u : 0x0000C0u;
    }
    return art;
}

TEST(ResampleArt, FramesKeepToTheirCellsAtEveryScale) {
    const PixelBuffer art = framesAt2();
    for (float scale : {1.25f, 1.5f, 1.75f}) {
        const PixelBuffer out = gui::resampleArt(art, 2.0f, 10, 26, 2, scale);
        const int cell = gui::cellLength(13, scale);
        EXPECT_EQ(out.width, gui::cellLength(10, scale));
        ASSERT_EQ(out.height, 2 * cell);
        int wrong = 0;
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) wrong += out.at(x, y) != (y < cell ? 0xC00000u : 0x0000C0u);
        }
        EXPECT_EQ(wrong, 0) << scale;
    }
}

TEST(ResampleArt, TheKeySurvivesWithoutAFringe) {
    PixelBuffer art(30, 30, kKeyPixel);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 30; ++x) {
            if ((x - 14.5) * (x - 14.5) + (y - 14.5) * (y - 14.5) < 100) art.at(x, y) = 0x4080C0u;
        }
    }
    for (float scale : {1.25f, 1.5f, 1.75f, 2.5f}) {
        const PixelBuffer out = gui::resampleArt(art, 3.0f, 10, 10, 1, scale);
        int keyed = 0, disk = 0, other = 0;
        for (std::uint32_t p : out.pixels) {
            keyed += p == kKeyPixel;
            disk += p == 0x4080C0u;
            other += p != kKeyPixel && p != 0x4080C0u;
        }
        EXPECT_EQ(other, 0) << scale;  // no pixel blended with the white key
        EXPECT_GT(keyed, 0) << scale;
        EXPECT_GT(disk, 0) << scale;
    }
}

}  // namespace
}  // namespace klv::test
