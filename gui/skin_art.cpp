#include "gui/skin_art.h"

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "gui/png_decode.h"
#include "gui/scale.h"

namespace klv::gui {

namespace {

using raster::kKeyPixel;
using raster::PixelBuffer;

// The source pixels one target pixel covers along an axis, with how much of
// each (in source pixels).
struct Span {
    int first = 0;
    std::vector<float> weights;
};

// Target pixel i of a cell covers design [i / s, (i + 1) / s), source
// [i S / s, (i + 1) S / s), clipped to the frame's sourceLength pixels.
std::vector<Span> spans(int targetLength, int sourceLength, double ratio) {
    std::vector<Span> out(static_cast<std::size_t>(targetLength));
    for (int i = 0; i < targetLength; ++i) {
        const double from = i * ratio;
        const double to = std::min((i + 1) * ratio, static_cast<double>(sourceLength));
        Span& span = out[static_cast<std::size_t>(i)];
        span.first = static_cast<int>(std::floor(from));
        for (int p = span.first; p < sourceLength && p < to; ++p) {
            const double covered = std::min(to, p + 1.0) - std::max(from, static_cast<double>(p));
            span.weights.push_back(static_cast<float>(std::max(covered, 0.0)));
        }
        // A target pixel beyond the art (the cell's rounding) repeats its edge.
        if (span.weights.empty()) {
            span.first = std::max(sourceLength - 1, 0);
            span.weights.push_back(1.0f);
        }
    }
    return out;
}

std::uint32_t averaged(const PixelBuffer& source, int left, int top, const Span& sx, const Span& sy) {
    double key = 0.0, weight = 0.0, r = 0.0, g = 0.0, b = 0.0;
    for (std::size_t j = 0; j < sy.weights.size(); ++j) {
        const int y = top + sy.first + static_cast<int>(j);
        for (std::size_t i = 0; i < sx.weights.size(); ++i) {
            const double w = static_cast<double>(sy.weights[j]) * sx.weights[i];
            const std::uint32_t p = source.at(left + sx.first + static_cast<int>(i), y);
            if (p == kKeyPixel) {
                key += w;
                continue;
            }
            weight += w;
            r += w * (p >> 16 & 0xFF);
            g += w * (p >> 8 & 0xFF);
            b += w * (p & 0xFF);
        }
    }
    if (weight <= 0.0 || key > weight) return kKeyPixel;
    const auto channel = [weight](double sum) { return static_cast<std::uint32_t>(sum / weight + 0.5); };
    const std::uint32_t p = channel(r) << 16 | channel(g) << 8 | channel(b);
    return p == kKeyPixel ? 0xFEFEFEu : p;
}

}  // namespace

PixelBuffer resampleArt(const PixelBuffer& source, float sourceScale, int designWidth, int designHeight, int frames,
                        float scale) {
    if (frames < 1) frames = 1;
    const int frameHeight = designHeight / frames;
    const int cellWidth = cellLength(designWidth, scale);
    const int cellHeight = cellLength(frameHeight, scale);
    PixelBuffer out(cellWidth, cellHeight * frames);
    if (designWidth <= 0 || frameHeight <= 0) return out;
    const int sourceWidth = std::min(source.width, static_cast<int>(std::lround(designWidth * sourceScale)));
    const int sourceFrameHeight =
        std::min(source.height / frames, static_cast<int>(std::lround(frameHeight * sourceScale)));
    if (sourceWidth <= 0 || sourceFrameHeight <= 0) return out;
    const double ratio = static_cast<double>(sourceScale) / scale;
    const std::vector<Span> xs = spans(cellWidth, sourceWidth, ratio);
    const std::vector<Span> ys = spans(cellHeight, sourceFrameHeight, ratio);
    for (int f = 0; f < frames; ++f) {
        const int sourceTop = f * (source.height / frames);
        for (int y = 0; y < cellHeight; ++y) {
            std::uint32_t* row = &out.at(0, f * cellHeight + y);
            for (int x = 0; x < cellWidth; ++x)
                row[x] =
                    averaged(source, 0, sourceTop, xs[static_cast<std::size_t>(x)], ys[static_cast<std::size_t>(y)]);
        }
    }
    return out;
}

namespace {

// The larger art of one bitmap, decoded; its scale (2 or 3).
bool decodeLarger(const ResourceTable& set, int id, PixelBuffer& pixels) {
    for (int i = 0; i < set.count; ++i) {
        const EmbeddedResource& r = set.entries[i];
        if (r.id == (id & 0xFFFF)) return decodePng(r.data, r.size, pixels);
    }
    return false;
}

}  // namespace

std::shared_ptr<BitmapImage> skinImage(const ResourceTable& skin, int id, int frames, float scale) {
    // Integer scales take their own set; the others filter the next larger.
    const ResourceTable* twice = skin.larger[0];
    const ResourceTable* thrice = skin.larger[1];
    const ResourceTable* set = scale <= 2.0f ? twice : thrice;
    const float setScale = scale <= 2.0f ? 2.0f : 3.0f;
    if (!set) return nullptr;

    static std::mutex mutex;
    static std::map<std::tuple<const ResourceTable*, int, float>, std::weak_ptr<BitmapImage>> made;
    const std::lock_guard<std::mutex> lock(mutex);
    std::weak_ptr<BitmapImage>& slot = made[{set, id, scale}];
    if (std::shared_ptr<BitmapImage> image = slot.lock()) return image;

    PixelBuffer art;
    if (!decodeLarger(*set, id, art)) return nullptr;
    const int designWidth = static_cast<int>(std::lround(art.width / setScale));
    const int designHeight = static_cast<int>(std::lround(art.height / setScale));
    std::shared_ptr<BitmapImage> image =
        scale == setScale ? makeBitmapImage(std::move(art))
                          : makeBitmapImage(resampleArt(art, setScale, designWidth, designHeight, frames, scale));
    slot = image;
    return image;
}

}  // namespace klv::gui
