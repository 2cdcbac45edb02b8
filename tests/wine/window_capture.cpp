#include "tests/wine/window_capture.h"

#include <cstdio>
#include <cstring>

namespace klv::wine {

namespace {

BITMAPINFO rgbInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

template <typename T>
T readAt(const void* base, std::size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const std::uint8_t*>(base) + offset, sizeof value);
    return value;
}

// The process's GDI handle table (the PEB's GdiSharedHandleTable), or null.
// A 32-bit process under Wine keeps it in the 64-bit PEB, which it finds
// through the 64-bit TEB whose address sits in its TEB's GdiBatchCount.
const std::uint8_t* gdiHandleTable() {
    // NtQueryInformationThread's basic information (class 0) starts with
    // the exit status and the TEB's address.
    struct ThreadBasics {
        LONG exitStatus;
        void* teb;
        void* clientId[2];
        ULONG_PTR affinity;
        LONG priority;
        LONG basePriority;
    } basics{};
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    if (!query || query(GetCurrentThread(), 0, &basics, sizeof basics, nullptr) < 0 || !basics.teb) return nullptr;
    const void* teb = basics.teb;
#if defined(_WIN64)
    return readAt<const std::uint8_t*>(readAt<const void*>(teb, 0x60), 0xF8);
#else
    if (const auto* table = readAt<const std::uint8_t*>(readAt<const void*>(teb, 0x30), 0x94)) return table;
    const auto teb64 = readAt<std::uint32_t>(teb, 0xF70);
    if (teb64 == 0) return nullptr;
    const auto peb64 = readAt<std::uint64_t>(reinterpret_cast<const void*>(std::uintptr_t{teb64}), 0x60);
    if (peb64 == 0 || peb64 > 0xFFFFFFFFu) return nullptr;
    const auto table = readAt<std::uint64_t>(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(peb64)), 0xF8);
    return table > 0xFFFFFFFFu ? nullptr : reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(table));
#endif
}

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, countWindow, count);
    return TRUE;
}

}  // namespace

Pixels capture(HWND window) {
    Pixels shot;
    RECT client{};
    GetClientRect(window, &client);
    shot.width = client.right;
    shot.height = client.bottom;
    if (shot.width <= 0 || shot.height <= 0) return shot;
    BITMAPINFO info = rgbInfo(shot.width, shot.height);
    void* bits = nullptr;
    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    HBITMAP section = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && section && bits) {
        HGDIOBJ old = SelectObject(memory, section);
        BitBlt(memory, 0, 0, shot.width, shot.height, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* begin = static_cast<const std::uint8_t*>(bits);
        shot.bytes.assign(begin, begin + static_cast<std::size_t>(shot.stride()) * shot.height);
        SelectObject(memory, old);
    }
    if (section) DeleteObject(section);
    if (memory) DeleteDC(memory);
    ReleaseDC(window, windowDc);
    return shot;
}

Pixels loadResourceBitmap(HINSTANCE module, int id) {
    Pixels image;
    HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(id));
    if (!bitmap) return image;
    BITMAP size{};
    GetObject(bitmap, sizeof size, &size);
    image.width = size.bmWidth;
    image.height = size.bmHeight;
    image.bytes.resize(static_cast<std::size_t>(image.stride()) * image.height);
    BITMAPINFO info = rgbInfo(image.width, image.height);
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, bitmap, 0, image.height, image.bytes.data(), &info, DIB_RGB_COLORS) != image.height)
        image.bytes.clear();
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return image;
}

bool writeBmp(const std::string& path, const Pixels& shot) {
    if (shot.bytes.empty()) return false;
    BITMAPFILEHEADER file{};
    const BITMAPINFO info = rgbInfo(shot.width, shot.height);
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + shot.bytes.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
              std::fwrite(shot.bytes.data(), shot.bytes.size(), 1, out) == 1;
    return std::fclose(out) == 0 && ok;
}

COLORREF Pixels::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height || bytes.empty()) return CLR_INVALID;
    const std::uint8_t* p = &bytes[static_cast<std::size_t>(height - 1 - y) * stride() + 3 * x];
    return RGB(p[2], p[1], p[0]);
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Live GDI objects of this process, or -1 when they cannot be counted.
// GetGuiResources answers 0 under Wine; there the GDI handle table (65536
// entries of 24 bytes, the object type at byte 14, 0 for a free entry) is
// counted instead. The count is trusted only after it saw ten new brushes
// come and go.
long gdiObjectCount() {
    const DWORD answered = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (answered != 0) return static_cast<long>(answered);
    const std::uint8_t* table = gdiHandleTable();
    if (!table) return -1;
    long count = 0;
    for (std::size_t i = 0; i < 0x10000; ++i) count += table[i * 24 + 14] != 0;
    return count;
}

bool gdiCountWorks() {
    const long before = gdiObjectCount();
    HBRUSH brushes[10];
    for (int i = 0; i < 10; ++i) brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
    const long during = gdiObjectCount();
    for (HBRUSH brush : brushes) DeleteObject(brush);
    const long after = gdiObjectCount();
    return before >= 0 && during == before + 10 && after == before;
}

// USER objects: GetGuiResources where it answers, else the windows of this
// thread and all their descendants.
long userObjectCount() {
    const DWORD answered = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (answered != 0) return static_cast<long>(answered);
    long count = 0;
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

}  // namespace klv::wine
