// PNG files to pixels, with no library: 8- and 16-bit grey, RGB, palette
// and alpha images (alpha dropped), as the skin tools and ImageMagick write
// them; no interlace.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gui/raster/pixel_buffer.h"

namespace klv::gui {

// False for anything that is not such a PNG, or is damaged (every chunk's
// CRC and the data's checksum are checked); out is then unchanged.
bool decodePng(const std::uint8_t* data, std::size_t size, raster::PixelBuffer& out);

}  // namespace klv::gui
