// PNG files of pixel buffers, for tools and tests (snapshots, reference
// pictures); drawing never uses them.
#pragma once

#include <string>

#include "gui/raster/pixel_buffer.h"

namespace klv::gui::raster {

// An 8-bit RGB, non-interlaced PNG of the buffer; false when the file
// cannot be written.
bool writePng(const PixelBuffer& pixels, const std::string& path);

// Reads a non-interlaced PNG of any standard colour type and bit depth
// (grey, RGB, palette, grey + alpha, RGBA; alpha and transparency are
// dropped, 16-bit samples keep their high byte). False, with out left
// unchanged, for anything else or a damaged file.
bool readPng(const std::string& path, PixelBuffer& out);

}  // namespace klv::gui::raster
