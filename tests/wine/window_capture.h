// Pixels of real windows and bitmaps for the Windows test programs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace klv::wine {

// 24-bit bottom-up rows padded to 4 bytes, as a BMP file stores them.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;
    int stride() const { return (width * 3 + 3) & ~3; }
    // The colour at (x, y) from the top left, as a system colour value.
    COLORREF at(int x, int y) const;
};

// The client area of window, copied from its device context into a DIB
// section; empty when it cannot be read.
Pixels capture(HWND window);
// The module's bitmap resource id in the same layout; empty when missing.
Pixels loadResourceBitmap(HINSTANCE module, int id);
bool writeBmp(const std::string& path, const Pixels& shot);

// Dispatches every waiting message of this thread.
void pumpMessages();

// Live GDI objects of this process, or -1 when they cannot be counted
// (GetGuiResources, or under Wine, where that answers 0, the process's GDI
// handle table).
long gdiObjectCount();
// The count follows ten brushes made and deleted.
bool gdiCountWorks();
// USER objects: GetGuiResources where it answers, else the windows of this
// thread and their descendants.
long userObjectCount();

}  // namespace klv::wine
