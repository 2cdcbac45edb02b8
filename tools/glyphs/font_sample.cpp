// font_sample: draws every font of the table, plus the editors' small
// readouts, into a PNG for looking at the raster side's text.
//
//   klv_font_sample OUTPUT.png
#include <cstdio>
#include <string>

#include "gui/raster/png_file.h"
#include "gui/raster/raster_surface.h"

using namespace klv::gui;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: klv_font_sample OUTPUT.png\n");
        return 2;
    }
    const char* lines[] = {"-12.5dB 2500Hz attack make-up", "Ratio 4.0:1  Threshold -20dB  Release 120ms",
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789"};
    const Color panels[][2] = {{{32, 34, 38}, {220, 224, 230}}, {{236, 232, 222}, {24, 24, 24}}};
    raster::PixelBuffer pixels(520, 2 * (kNumFonts * 3 * 22 + 8));
    raster::RasterSurface surface(pixels);
    int y = 0;
    for (const auto& panel : panels) {
        surface.setBrush(panel[0]);
        surface.fillRect({0, y, pixels.width, y + pixels.height / 2});
        surface.setTextColor(panel[1]);
        y += 4;
        for (int id = 0; id < kNumFonts; ++id) {
            surface.setFont(id, kFontTable[id].size);
            for (const char* text : lines) {
                const std::string line = std::to_string(id) + ": " + text;
                surface.drawText(line.c_str(), {6, y, pixels.width, y + 22}, kAlignLeft, false);
                y += 22;
            }
        }
        y += 4;
    }
    return raster::writePng(pixels, argv[1]) ? 0 : 1;
}
