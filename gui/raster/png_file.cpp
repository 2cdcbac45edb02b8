// PNG reading and writing over zlib (RFC 2083 / PNG 1.2).
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

namespace klv::gui::raster {

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Larger than any picture of the project; keeps every size computation in range.
constexpr std::uint32_t kMaxSide = 1 << 14;

void put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}
std::uint32_t get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void putChunk(Bytes& out, const char* type, const Bytes& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the per-row filters in place; rows are 1 filter byte + rowBytes.
bool unfilter(Bytes& data, std::size_t rows, std::size_t rowBytes, std::size_t pixelBytes) {
    const unsigned char* prior = nullptr;
    for (std::size_t y = 0; y < rows; ++y) {
        unsigned char* row = data.data() + y * (rowBytes + 1);
        const int filter = row[0];
        unsigned char* cur = row + 1;
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= pixelBytes ? cur[i - pixelBytes] : 0;
            const int b = prior ? prior[i] : 0;
            const int c = (prior && i >= pixelBytes) ? prior[i - pixelBytes] : 0;
            int predictor = 0;
            switch (filter) {
                case 0:
                    break;
                case 1:
                    predictor = a;
                    break;
                case 2:
                    predictor = b;
                    break;
                case 3:
                    predictor = (a + b) / 2;
                    break;
                case 4:
                    predictor = paeth(a, b, c);
                    break;
                default:
                    return false;
            }
            cur[i] = static_cast<unsigned char>(cur[i] + predictor);
        }
        prior = cur;
    }
    return true;
}

struct Header {
    std::uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0;
};

int channelsOf(int colourType) {
    switch (colourType) {
        case 0:
            return 1;  // grey
        case 2:
            return 3;  // RGB
        case 3:
            return 1;  // palette index
        case 4:
            return 2;  // grey, alpha
        case 6:
            return 4;  // RGBA
        default:
            return 0;
    }
}

bool validDepth(int colourType, int depth) {
    switch (colourType) {
        case 0:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        default:
            return depth == 8 || depth == 16;
    }
}

// Sample s (channel-major within the pixel) of a row, scaled to 8 bits
// unless it is a palette index.
unsigned sampleAt(const unsigned char* row, std::size_t s, const Header& h) {
    if (h.depth == 16) return row[2 * s];
    if (h.depth == 8) return row[s];
    const std::size_t bit = s * h.depth;
    const unsigned max = (1u << h.depth) - 1;
    const unsigned v = row[bit / 8] >> (8 - h.depth - bit % 8) & max;
    return h.colourType == 3 ? v : v * 255 / max;
}

bool decode(const Bytes& file, PixelBuffer& out) {
    if (file.size() < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), file.begin())) {
        return false;
    }
    Header h;
    Bytes idat, palette;
    bool haveHeader = false, ended = false;
    for (std::size_t pos = kSignature.size(); !ended;) {
        if (file.size() - pos < 12) return false;
        const std::uint32_t length = get32(&file[pos]);
        if (length > file.size() - pos - 12) return false;
        const unsigned char* type = &file[pos + 4];
        const unsigned char* data = &file[pos + 8];
        if (get32(data + length) != crc32(0, type, length + 4)) return false;
        const std::string name(type, type + 4);
        if (name == "IHDR") {
            if (length != 13) return false;
            h.width = get32(data), h.height = get32(data + 4), h.depth = data[8], h.colourType = data[9];
            // compression 0, filter method 0, not interlaced
            if (data[10] != 0 || data[11] != 0 || data[12] != 0) return false;
            haveHeader = true;
        } else if (name == "PLTE") {
            palette.assign(data, data + length);
        } else if (name == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        } else if (name == "IEND") {
            ended = true;
        } else if (!(type[0] & 0x20)) {
            return false;  // an unknown critical chunk
        }
        pos += 12 + length;
    }
    if (!haveHeader || !validDepth(h.colourType, h.depth) || channelsOf(h.colourType) == 0) return false;
    if (h.width == 0 || h.height == 0 || h.width > kMaxSide || h.height > kMaxSide) return false;
    if (h.colourType == 3 && (palette.empty() || palette.size() % 3 != 0)) return false;

    const std::size_t samples = static_cast<std::size_t>(h.width) * channelsOf(h.colourType);
    const std::size_t rowBytes = (samples * h.depth + 7) / 8;
    const std::size_t pixelBytes = std::max<std::size_t>(1, channelsOf(h.colourType) * h.depth / 8);
    Bytes raw((rowBytes + 1) * h.height);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &rawSize, idat.data(), static_cast<uLong>(idat.size())) != Z_OK ||
        rawSize != raw.size() || !unfilter(raw, h.height, rowBytes, pixelBytes)) {
        return false;
    }

    PixelBuffer pixels(static_cast<int>(h.width), static_cast<int>(h.height));
    const int channels = channelsOf(h.colourType);
    for (int y = 0; y < pixels.height; ++y) {
        const unsigned char* row = raw.data() + y * (rowBytes + 1) + 1;
        for (int x = 0; x < pixels.width; ++x) {
            const std::size_t s = static_cast<std::size_t>(x) * channels;
            unsigned r, g, b;
            if (h.colourType == 3) {
                const std::size_t index = sampleAt(row, s, h);
                if (index * 3 + 2 >= palette.size()) return false;
                r = palette[index * 3], g = palette[index * 3 + 1], b = palette[index * 3 + 2];
            } else if (channels >= 3) {
                r = sampleAt(row, s, h), g = sampleAt(row, s + 1, h), b = sampleAt(row, s + 2, h);
            } else {
                r = g = b = sampleAt(row, s, h);
            }
            pixels.at(x, y) = r << 16 | g << 8 | b;
        }
    }
    out = std::move(pixels);
    return true;
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
    return decode(file, out);
}

}  // namespace klv::gui::raster
