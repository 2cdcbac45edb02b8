// The toolkit's Win32 side in a real window under Wine, without a plug-in:
// a frame whose one view draws a scene of fills, outlines, lines, text,
// transparent and opaque blits and an offscreen composition, checked pixel
// by pixel where GDI's results are exact; the window procedure's button,
// wheel and edit-colour paths; the OLE drop target fed by a data object of
// our own; and what a frame leaves behind.
//   klv-wine-gui SHOT.bmp
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/frame.h"
#include "gui/win32/gdi_surface.h"
#include "gui/win32/ole_drop_target.h"
#include "gui/win32/win32_window.h"
#include "tests/conformance/checker.h"
#include "tests/wine/window_capture.h"

namespace {

using namespace klv::gui;
using klv::wine::Pixels;

constexpr int kWidth = 240;
constexpr int kHeight = 120;

#define SCENE_CHECK(c, cond, what)                                                  \
    do {                                                                            \
        const bool klvOk_ = static_cast<bool>(cond);                                \
        if (klvOk_) std::printf("ok   %s\n", std::string(what).c_str());            \
        (c).check(klvOk_, std::string(what) + "  (" #cond ")", __FILE__, __LINE__); \
    } while (0)

// 20 x 20, white (the transparency key) with a black square at 5..14.
std::unique_ptr<BitmapImage> keyedImage() {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 20, 20);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, 20, 20};
    const RECT square{5, 5, 15, 15};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FillRect(dc, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return std::make_unique<klv::gui::win32::GdiBitmapImage>(bitmap, 20, 20);
}

class SceneView : public View {
public:
    explicit SceneView(Bitmap* sprite) : View({0, 0, kWidth - 1, kHeight - 1}), sprite_(sprite) {}

    void draw(DrawContext& dc) override {
        ++draws;
        dc.setFillColor(kGrey);
        dc.fillRect({-1, -1, kWidth, kHeight});
        dc.setFillColor(kRed);
        dc.fillRect({10, 10, 50, 40});
        dc.setFrameColor(kBlue);
        dc.drawRect({60, 10, 100, 40});
        dc.moveTo({110, 10});
        dc.lineTo({150, 10});
        dc.setLineStyle(kLineDotted);
        dc.moveTo({110, 20});
        dc.lineTo({150, 20});
        dc.setLineStyle(kLineSolid);

        // The transparent blit twice over magenta, then the opaque one: the
        // bitmap's own pixels must be whole again after the masking.
        dc.setFillColor(kMagenta);
        dc.fillRect({159, 9, 200, 50});
        sprite_->drawTransparent(dc, {160, 10, 180, 30});
        sprite_->drawTransparent(dc, {180, 30, 190, 40}, {5, 5});
        sprite_->draw(dc, {160, 30, 180, 50});

        dc.setFont(0);
        dc.setFontColor(kWhite);
        dc.drawString("KLV", {10, 50, 100, 70}, false, kAlignCenter);
        dc.drawString("8", {110, 50, 150, 70}, false, kAlignRight);
        dc.setFillColor(kGreen);
        dc.setFontColor(kBlack);
        dc.drawString("88", {10, 75, 100, 95}, true, kAlignLeft);

        OffscreenContext offscreen(getParentFrame(), 30, 20, kYellow);
        offscreen.setFrameColor(kCyan);
        offscreen.moveTo({0, 10});
        offscreen.lineTo({30, 10});
        offscreen.copyTo(dc, {200, 60, 230, 80});
    }
    void mouse(DrawContext& dc, PointF where) override {
        clicks.push_back(where);
        clickButtons.push_back(dc.getMouseButtons());
        clickHadSurface = dc.surface() != nullptr;
    }
    bool onWheel(DrawContext*, PointF, float distance) override {
        wheel += distance;
        return true;
    }
    bool onDrop(void** items, long count, int kind, Point) override {
        dropKind = kind;
        dropCount = count;
        dropped.clear();
        for (long i = 0; i < (kind == kDropFiles ? count : 1); ++i) dropped.emplace_back(static_cast<char*>(items[i]));
        return true;
    }
    bool getEditColors(Color& font, Color& back) const override {
        font = kRed;
        back = kGreen;
        return true;
    }

    int draws = 0;
    std::vector<PointF> clicks;
    std::vector<unsigned> clickButtons;
    bool clickHadSurface = false;
    float wheel = 0.0f;
    int dropKind = -1;
    long dropCount = 0;
    std::vector<std::string> dropped;

private:
    Bitmap* sprite_;
};

// A data object offering one global-memory format, copied for every GetData
// (the receiver frees what it gets).
class TestData : public IDataObject {
public:
    TestData(CLIPFORMAT format, std::vector<char> bytes) : format_(format), bytes_(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
        std::memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format->cfFormat == format_ && format->dwAspect == DVASPECT_CONTENT && format->lindex == -1 &&
                       (format->tymed & TYMED_HGLOBAL)
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    CLIPFORMAT format_;
    std::vector<char> bytes_;
};

// A DROPFILES block with ANSI names.
std::vector<char> fileList(const std::vector<std::string>& names) {
    DROPFILES header{};
    header.pFiles = sizeof header;
    std::vector<char> bytes(reinterpret_cast<const char*>(&header),
                            reinterpret_cast<const char*>(&header) + sizeof header);
    for (const std::string& name : names) bytes.insert(bytes.end(), name.c_str(), name.c_str() + name.size() + 1);
    bytes.push_back('\0');
    return bytes;
}

int countInRow(const Pixels& shot, int y, int x0, int x1, COLORREF color) {
    int count = 0;
    for (int x = x0; x < x1; ++x) count += shot.at(x, y) == color;
    return count;
}

// Leftmost and rightmost column of rect holding color, or -1.
std::pair<int, int> columnsOf(const Pixels& shot, RECT r, COLORREF color) {
    int first = -1;
    int last = -1;
    for (int x = r.left; x < r.right; ++x) {
        for (int y = r.top; y < r.bottom; ++y) {
            if (shot.at(x, y) != color) continue;
            if (first < 0) first = x;
            last = x;
            break;
        }
    }
    return {first, last};
}

void checkPixels(klv::conformance::Checker& c, const Pixels& s) {
    const COLORREF grey = RGB(127, 127, 127), red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    const COLORREF magenta = RGB(255, 0, 255), black = RGB(0, 0, 0), white = RGB(255, 255, 255);
    const COLORREF yellow = RGB(255, 255, 0), cyan = RGB(0, 255, 255), green = RGB(0, 255, 0);
    SCENE_CHECK(c, s.at(11, 11) == red && s.at(49, 39) == red, "fill covers left + 1 .. right - 1");
    SCENE_CHECK(c, s.at(10, 10) == grey && s.at(50, 39) == grey && s.at(49, 40) == grey,
                "fill leaves the top-left outline and the right and bottom edges");
    SCENE_CHECK(c, s.at(60, 10) == blue && s.at(100, 10) == blue && s.at(100, 40) == blue && s.at(60, 40) == blue,
                "outline reaches all four corners");
    SCENE_CHECK(c, s.at(80, 25) == grey && s.at(101, 10) == grey, "outline stays on its edges");
    SCENE_CHECK(c, countInRow(s, 10, 110, 150, blue) == 40 && s.at(150, 10) == grey, "a line leaves out its end point");
    const int dots = countInRow(s, 20, 110, 151, blue);
    SCENE_CHECK(c, dots > 5 && dots < 35, "a dotted line has gaps (" + std::to_string(dots) + " of 40 drawn)");
    SCENE_CHECK(c, s.at(160, 10) == magenta && s.at(179, 29) == magenta && s.at(175, 25) == magenta,
                "transparent blit leaves the key colour out");
    SCENE_CHECK(c, s.at(165, 15) == black && s.at(174, 24) == black, "transparent blit draws the rest");
    SCENE_CHECK(c, s.at(180, 30) == black && s.at(189, 39) == black && s.at(190, 40) == magenta,
                "transparent blit from a source offset");
    SCENE_CHECK(c, s.at(160, 30) == white && s.at(165, 35) == black,
                "opaque blit after transparent ones: key pixels are white again");
    const auto centred = columnsOf(s, {10, 50, 100, 70}, white);
    SCENE_CHECK(c, centred.first > 20 && centred.second < 90 && centred.second > centred.first,
                "centred text (columns " + std::to_string(centred.first) + ".." + std::to_string(centred.second) + ")");
    const auto right = columnsOf(s, {110, 50, 150, 70}, white);
    SCENE_CHECK(c, right.second >= 140 && right.second <= 149,
                "right-aligned text ends at the right edge (last column " + std::to_string(right.second) + ")");
    const auto left = columnsOf(s, {10, 75, 100, 95}, black);
    SCENE_CHECK(c, left.first >= 11 && left.first < 16,
                "left-aligned text starts after the one-pixel margin (column " + std::to_string(left.first) + ")");
    SCENE_CHECK(c, columnsOf(s, {10, 75, 100, 95}, green).first >= 11, "opaque text fills its cell in the fill colour");
    SCENE_CHECK(c, s.at(200, 60) == yellow && s.at(215, 65) == yellow && s.at(229, 79) == yellow,
                "offscreen: background filled and outlined");
    SCENE_CHECK(c, s.at(200, 70) == cyan && s.at(229, 70) == cyan && s.at(230, 70) == grey,
                "offscreen: its line arrives with one block copy");
}

HWND createHost() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "KlvWineGuiHost";
    RegisterClassA(&windowClass);
    RECT frame{0, 0, kWidth, kHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND host = CreateWindowExA(0, "KlvWineGuiHost", "klv-wine-gui", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(host);
    klv::wine::pumpMessages();
    return host;
}

void checkInput(klv::conformance::Checker& c, HWND child, SceneView& scene, Frame& frame) {
    // No button is down: the views get the state each message carries.
    SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(33, 44));
    SendMessageA(child, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, MAKELPARAM(200, 100));
    SCENE_CHECK(c,
                scene.clicks.size() == 2 && scene.clicks[0].x == 33 && scene.clicks[0].y == 44 &&
                    scene.clicks[1].x == 200 && scene.clicks[1].y == 100 && scene.clickHadSurface,
                "button-down messages reach the view at their point, with a surface");
    SCENE_CHECK(c,
                scene.clickButtons.size() == 2 && scene.clickButtons[0] == (kLeftButton | kShiftKey) &&
                    scene.clickButtons[1] == (kRightButton | kControlKey),
                "each press reaches the view with the buttons and keys of its message");

    POINT inside{120, 60};
    ClientToScreen(child, &inside);
    SetCursorPos(inside.x, inside.y);
    SendMessageA(child, WM_MOUSEWHEEL, MAKEWPARAM(0, 2 * WHEEL_DELTA), MAKELPARAM(inside.x, inside.y));
    SendMessageA(child, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(inside.x, inside.y));
    SCENE_CHECK(c, scene.wheel == 1.0f, "wheel turns of +2 and -1 notches reach the view under the pointer");

    frame.setFocusView(&scene);
    HDC dc = CreateCompatibleDC(nullptr);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageA(child, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0));
    LOGBRUSH info{};
    SCENE_CHECK(c,
                brush && GetObjectA(brush, sizeof info, &info) && info.lbColor == RGB(0, 255, 0) &&
                    GetTextColor(dc) == RGB(255, 0, 0) && GetBkColor(dc) == RGB(0, 255, 0),
                "edit-control colours come from the focus view");
    DeleteDC(dc);
    frame.setFocusView(nullptr);
}

void checkDrops(klv::conformance::Checker& c, HWND child, SceneView& scene, Frame& frame) {
    POINT inside{120, 60};
    ClientToScreen(child, &inside);
    SetCursorPos(inside.x, inside.y);
    auto* target = new klv::gui::win32::DropTarget(&frame);
    target->AddRef();
    const POINTL where{inside.x, inside.y};

    const std::string longName = "C:\\" + std::string(1500, 'n') + ".wav";
    TestData files(CF_HDROP, fileList({"C:\\a.wav", longName, "C:\\missing\\gone.LNK"}));
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(&files, 0, where, &effect);
    SCENE_CHECK(c, effect == DROPEFFECT_MOVE, "a file list is accepted, as a move without Control");
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragOver(MK_CONTROL, where, &effect);
    SCENE_CHECK(c, effect == DROPEFFECT_COPY, "with Control the drag is a copy");
    target->Drop(&files, 0, where, &effect);
    SCENE_CHECK(c, scene.dropKind == kDropFiles && scene.dropped.size() == 3 && scene.dropped[0] == "C:\\a.wav",
                "the file names reach the view (kind 0)");
    SCENE_CHECK(
        c, scene.dropped.size() == 3 && scene.dropped[1].size() == 1023 && scene.dropped[2] == "C:\\missing\\gone.LNK",
        "a long name is cut to its buffer, an unresolvable shortcut keeps its name");

    TestData text(CF_TEXT, std::vector<char>{'h', 'e', 'l', 'l', 'o', '\0'});
    target->DragEnter(&text, 0, where, &effect);
    target->Drop(&text, 0, where, &effect);
    SCENE_CHECK(
        c,
        scene.dropKind == kDropText && scene.dropCount >= 6 && scene.dropped.size() == 1 && scene.dropped[0] == "hello",
        "text reaches the view (kind 1, the memory size as count)");

    TestData other(CF_BITMAP, std::vector<char>(4));
    effect = DROPEFFECT_COPY;
    target->DragEnter(&other, 0, where, &effect);
    SCENE_CHECK(c, effect == DROPEFFECT_NONE, "other formats are refused");
    target->Release();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: klv-wine-gui SHOT.bmp\n");
        return 2;
    }
    klv::conformance::Checker c;
    c.setContext("win32 gui");
    WindowSystem& system = platformWindowSystem();
    system.initializeOle();
    HWND host = createHost();
    {
        // One frame painted and gone first, so that what the system caches
        // on first use (fonts, window device contexts) is in the baseline.
        auto* sprite = new Bitmap(999, keyedImage());
        Frame* frame = new Frame({0, 0, kWidth, kHeight}, host, nullptr);
        frame->addView(new SceneView(sprite));
        klv::wine::pumpMessages();
        frame->release();
        sprite->release();
        klv::wine::pumpMessages();
    }
    const long gdiBefore = klv::wine::gdiObjectCount();
    {
        Frame* refused = new Frame({0, 0, kWidth, kHeight}, reinterpret_cast<void*>(std::uintptr_t{0x1234}), nullptr);
        SCENE_CHECK(c, !refused->window() && !refused->isOpen(), "a frame in a parent that is no window stays closed");
        refused->release();
    }

    auto* sprite = new Bitmap(999, keyedImage());
    Frame* frame = new Frame({0, 0, kWidth, kHeight}, host, nullptr);
    auto* scene = new SceneView(sprite);
    frame->addView(scene);
    HWND child = frame->window() ? static_cast<HWND>(frame->window()->handle()) : nullptr;
    char className[16];
    klv::gui::win32::windowClassName(klv::gui::win32::moduleHandle(), className);
    SCENE_CHECK(c, child && GetParent(child) == host, "the frame's child window sits in the host window");
    WNDCLASSA info;
    SCENE_CHECK(c, GetClassInfoA(klv::gui::win32::moduleHandle(), className, &info),
                std::string("class ") + className + " registered");

    InvalidateRect(child, nullptr, FALSE);
    klv::wine::pumpMessages();
    const Pixels shot = klv::wine::capture(child);
    SCENE_CHECK(c, scene->draws >= 1 && frame->hasPainted(), "the paint message draws the frame");
    SCENE_CHECK(c, klv::wine::writeBmp(argv[1], shot), std::string("screenshot written to ") + argv[1]);
    checkPixels(c, shot);
    checkInput(c, child, *scene, *frame);
    checkDrops(c, child, *scene, *frame);

    // Repaints and idle redraws leave no GDI object behind.
    const long gdiPainted = klv::wine::gdiObjectCount();
    for (int i = 0; i < 20; ++i) {
        InvalidateRect(child, nullptr, FALSE);
        klv::wine::pumpMessages();
        scene->setDirty(true);
        frame->idleRedraw();
        klv::wine::pumpMessages();
    }
    SCENE_CHECK(c, klv::wine::gdiObjectCount() == gdiPainted, "20 paints and redraws make no lasting GDI object");

    frame->release();
    sprite->release();
    klv::wine::pumpMessages();
    const long gdiAfter = klv::wine::gdiObjectCount();
    SCENE_CHECK(c, klv::wine::gdiCountWorks() && gdiAfter <= gdiBefore,
                "GDI objects of a frame's life: " + std::to_string(gdiBefore) + " before, " + std::to_string(gdiAfter) +
                    " after");
    SCENE_CHECK(c, !IsWindow(child), "the child window goes with the frame");
    SCENE_CHECK(c, !GetClassInfoA(klv::gui::win32::moduleHandle(), className, &info),
                "the class goes with the last frame");
    DestroyWindow(host);
    system.uninitializeOle();
    std::printf("%d passed, %d failed\n", c.passed(), c.failed());
    return c.failed() == 0 ? 0 : 1;
}
