// PNG decoding (RFC 2083 / PNG 1.2) over our own inflate: the plug-ins
// read their larger skin art with it, and the tools their pictures.
#include "gui/png_decode.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/inflate.h"

namespace klv::gui {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Larger than any picture of the project; keeps every size computation in range.
constexpr std::uint32_t kMaxSide = 1 << 14;

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the per-row filters in place; rows are 1 filter byte + rowBytes.
bool unfilter(Bytes& data, std::size_t rows, std::size_t rowBytes, std::size_t pixelBytes) {
    const std::uint8_t* prior = nullptr;
    for (std::size_t y = 0; y < rows; ++y) {
        std::uint8_t* row = data.data() + y * (rowBytes + 1);
        const int filter = row[0];
        std::uint8_t* cur = row + 1;
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
            cur[i] = static_cast<std::uint8_t>(cur[i] + predictor);
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
unsigned sampleAt(const std::uint8_t* row, std::size_t s, const Header& h) {
    if (h.depth == 16) return row[2 * s];
    if (h.depth == 8) return row[s];
    const std::size_t bit = s * h.depth;
    const unsigned max = (1u << h.depth) - 1;
    const unsigned v = row[bit / 8] >> (8 - h.depth - bit % 8) & max;
    return h.colourType == 3 ? v : v * 255 / max;
}

}  // namespace

bool decodePng(const std::uint8_t* file, std::size_t fileSize, raster::PixelBuffer& out) {
    if (fileSize < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), file)) return false;
    Header h;
    Bytes idat, palette;
    bool haveHeader = false, ended = false;
    for (std::size_t pos = kSignature.size(); !ended;) {
        if (fileSize - pos < 12) return false;
        const std::uint32_t length = get32(&file[pos]);
        if (length > fileSize - pos - 12) return false;
        const std::uint8_t* type = &file[pos + 4];
        const std::uint8_t* data = &file[pos + 8];
        if (get32(data + length) != crc32Of(type, length + 4)) return false;
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
    Bytes raw;
    if (!inflateZlib(idat.data(), idat.size(), (rowBytes + 1) * h.height, raw) ||
        !unfilter(raw, h.height, rowBytes, pixelBytes)) {
        return false;
    }

    raster::PixelBuffer pixels(static_cast<int>(h.width), static_cast<int>(h.height));
    const int channels = channelsOf(h.colourType);
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = raw.data() + y * (rowBytes + 1) + 1;
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

}  // namespace klv::gui
