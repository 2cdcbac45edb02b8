// Skin bitmaps of non-Windows builds: 24-bit BMP files embedded in the
// library, found by numeric id.
#include <cstdint>
#include <cstdlib>

#include "gui/raster/raster_surface.h"

namespace klv::gui {

std::unique_ptr<BitmapImage> loadBitmapImage(int resourceId, const ResourceTable* table) {
    if (table == nullptr || table->entries == nullptr) return nullptr;
    const int id = resourceId & 0xFFFF;
    for (int i = 0; i < table->count; ++i) {
        const EmbeddedResource& entry = table->entries[i];
        if (entry.id == id) return raster::decodeBmp(entry.data, entry.size);
    }
    return nullptr;
}

std::unique_ptr<BitmapImage> makeBitmapImage(raster::PixelBuffer pixels) {
    return std::make_unique<raster::RasterImage>(std::move(pixels));
}

}  // namespace klv::gui

namespace klv::gui::raster {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER; later versions only add fields
// Larger than any skin, small enough that width * height * 4 cannot overflow.
constexpr long long kMaxSide = 1 << 14;

std::uint32_t le16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

// BITMAPFILEHEADER ("BM", size, reserved, pixel offset), then the info
// header: size, width, height (negative: rows top-down), planes 1, 24 bits,
// compression 0 (BI_RGB). Rows of blue, green, red bytes, padded to 4 bytes.
std::unique_ptr<RasterImage> decodeBmp(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size < kFileHeaderSize + kInfoHeaderSize) return nullptr;
    if (data[0] != 'B' || data[1] != 'M') return nullptr;
    const unsigned char* info = data + kFileHeaderSize;
    const long long pixelOffset = le32(data + 10);
    const long long infoSize = le32(info);
    const long long width = static_cast<std::int32_t>(le32(info + 4));
    const long long signedHeight = static_cast<std::int32_t>(le32(info + 8));
    const long long height = std::llabs(signedHeight);
    if (infoSize < static_cast<long long>(kInfoHeaderSize) || le16(info + 12) != 1 || le16(info + 14) != 24 ||
        le32(info + 16) != 0) {
        return nullptr;
    }
    if (width <= 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;

    const long long stride = (width * 3 + 3) / 4 * 4;
    // The last row's padding may be missing; its pixels may not.
    if (pixelOffset < static_cast<long long>(kFileHeaderSize) + infoSize ||
        pixelOffset + stride * (height - 1) + width * 3 > static_cast<long long>(size)) {
        return nullptr;
    }
    PixelBuffer pixels(static_cast<int>(width), static_cast<int>(height));
    for (int y = 0; y < pixels.height; ++y) {
        const long long fileRow = signedHeight > 0 ? height - 1 - y : y;
        const unsigned char* p = data + pixelOffset + fileRow * stride;
        for (int x = 0; x < pixels.width; ++x, p += 3) {
            pixels.at(x, y) = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
    }
    return std::make_unique<RasterImage>(std::move(pixels));
}

}  // namespace klv::gui::raster
