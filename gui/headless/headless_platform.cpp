// A platform without windows or bitmaps, for builds that only compute audio
// (the 32-bit Linux build that checks the arithmetic): editors exist, but
// effEditOpen finds no window system and answers 0.
#include "gui/surface.h"
#include "gui/window_system.h"

namespace klv::gui {

namespace {

class HeadlessWindowSystem : public WindowSystem {
public:
    std::unique_ptr<WindowPort> createWindow(Frame&, void*, int, int) override { return nullptr; }
    std::unique_ptr<Surface> createOffscreen(WindowPort*, int, int) override { return nullptr; }
};

}  // namespace

std::unique_ptr<BitmapImage> loadBitmapImage(int, const ResourceTable*) {
    return nullptr;
}

std::unique_ptr<BitmapImage> makeBitmapImage(raster::PixelBuffer) {
    return nullptr;
}

WindowSystem& platformWindowSystem() {
    static HeadlessWindowSystem system;
    return system;
}

}  // namespace klv::gui
