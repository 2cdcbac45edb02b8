// Skin bitmaps at the editor scales other than 1. The plug-ins carry their
// art drawn at 2 and 3 times the design's size (PNG files); a scale between
// is filtered from the next larger set. Stacked frames are scaled one by one
// into cells of whole device pixels, so that a frame never shows a row of
// its neighbour.
#pragma once

#include <cmath>
#include <memory>

#include "gui/raster/pixel_buffer.h"
#include "gui/surface.h"

namespace klv::gui {

// Device pixels a cell takes for a design length: enough for any placement
// of it (a destination's device length is either floor or ceil of s x).
inline int cellLength(int design, float scale) {
    return static_cast<int>(std::ceil(static_cast<double>(design) * scale - 1e-6));
}

// Area average of the frames of source (art drawn at sourceScale of a
// bitmap of designWidth x designHeight, frames stacked) at scale, each frame
// in a cell of cellLength(designWidth) x cellLength(frame height). Pixels of
// the transparency key are transparent: a target pixel is the key where
// they cover more than half of it, else the average of the others, never
// the key by chance.
raster::PixelBuffer resampleArt(const raster::PixelBuffer& source, float sourceScale, int designWidth, int designHeight,
                                int frames, float scale);

// Bitmap id of skin at scale (not 1): from skin.larger, made on first use
// and shared by every bitmap of the module that asks while one holds it.
// Null when the skin has no larger art for the id.
std::shared_ptr<BitmapImage> skinImage(const ResourceTable& skin, int id, int frames, float scale);

}  // namespace klv::gui
