// PNG writing over zlib (RFC 2083 / PNG 1.2); reading is the toolkit's own.
#include "gui/raster/png_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gui/png_decode.h"

namespace klv::gui::raster {

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
void put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void putChunk(Bytes& out, const char* type, const Bytes& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

}  // namespace

bool writePng(const PixelBuffer& pixels, const std::string& path) {
    if (pixels.width <= 0 || pixels.height <= 0) return false;
    // Rows of filter type 0 (none) and red, green, blue bytes.
    const std::size_t rowBytes = static_cast<std::size_t>(pixels.width) * 3 + 1;
    Bytes raw;
    raw.reserve(rowBytes * pixels.height);
    for (int y = 0; y < pixels.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t p = pixels.at(x, y);
            raw.insert(raw.end(), {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                   static_cast<unsigned char>(p)});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);

    Bytes header;
    put32(header, static_cast<std::uint32_t>(pixels.width));
    put32(header, static_cast<std::uint32_t>(pixels.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // depth 8, RGB, deflate, filter 0, no interlace
    Bytes file(kSignature.begin(), kSignature.end());
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});

    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(stream.flush());
}

bool readPng(const std::string& path, PixelBuffer& out) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return false;
    const Bytes file((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return decodePng(file.data(), file.size(), out);
}

}  // namespace klv::gui::raster
