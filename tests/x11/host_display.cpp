#include "tests/x11/host_display.h"

#include <X11/Xutil.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace klv::x11host {

namespace {

int errorCount = 0;

int countError(Display* display, XErrorEvent* event) {
    ++errorCount;
    char text[128] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "X error reached the host: %s (request %d.%d, resource 0x%lx)\n", text, event->request_code,
                 event->minor_code, event->resourceid);
    return 0;
}

}  // namespace

HostDisplay::HostDisplay() : display_(XOpenDisplay(nullptr)) {
    if (display_) XSetErrorHandler(countError);
}

HostDisplay::~HostDisplay() {
    if (display_) XCloseDisplay(display_);
}

Window HostDisplay::createWindow(int width, int height, bool mapped, int left) {
    const int screen = DefaultScreen(display_);
    const Window window = XCreateSimpleWindow(display_, RootWindow(display_, screen), left, 0, width, height, 0,
                                              BlackPixel(display_, screen), BlackPixel(display_, screen));
    if (mapped) XMapWindow(display_, window);
    sync();
    return window;
}

void HostDisplay::map(Window window) {
    XMapWindow(display_, window);
    sync();
}

void HostDisplay::destroy(Window window) {
    XDestroyWindow(display_, window);
    sync();
}

void HostDisplay::killClient(Window window) {
    XKillClient(display_, window);
    sync();
}

void HostDisplay::sync() {
    XSync(display_, False);
}

std::vector<Window> HostDisplay::children(Window parent) {
    Window root = 0;
    Window parentOfParent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(display_, parent, &root, &parentOfParent, &list, &count)) result.assign(list, list + count);
    if (list) XFree(list);
    return result;
}

bool HostDisplay::geometry(Window window, int& x, int& y, int& width, int& height, bool& viewable) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) return false;
    x = attributes.x;
    y = attributes.y;
    width = attributes.width;
    height = attributes.height;
    viewable = attributes.map_state == IsViewable;
    return true;
}

gui::raster::PixelBuffer HostDisplay::screenshot(Window window) {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool viewable = false;
    // The server refuses to read a window that is not on screen (BadMatch).
    if (!geometry(window, x, y, width, height, viewable) || !viewable) return {};
    XImage* image = XGetImage(display_, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) return {};
    // The server runs at depth 24 with 8-bit red, green and blue fields.
    gui::raster::PixelBuffer pixels(width, height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column)
            pixels.at(column, row) = static_cast<std::uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFFu;
    }
    XDestroyImage(image);
    return pixels;
}

void HostDisplay::spoil(Window window, unsigned long colour) {
    GC gc = XCreateGC(display_, window, 0, nullptr);
    XSetForeground(display_, gc, colour);
    XFillRectangle(display_, window, gc, 0, 0, 0xFFFF, 0xFFFF);
    XFreeGC(display_, gc);
    XClearArea(display_, window, 0, 0, 0, 0, True);
    sync();
}

Window HostDisplay::staleWindowId() {
    const Window window = createWindow(10, 10, false);
    destroy(window);
    return window;
}

int HostDisplay::errors() {
    return errorCount;
}

bool HostDisplay::handlerInstalled() {
    return XSetErrorHandler(countError) == countError;
}

int openDescriptors() {
    DIR* directory = opendir("/proc/self/fd");
    if (!directory) return -1;
    int count = 0;
    while (const dirent* entry = readdir(directory)) count += entry->d_name[0] != '.';
    closedir(directory);
    return count - 1;  // the directory's own descriptor
}

int sharedSegments() {
    std::ifstream table("/proc/sysvipc/shm");
    std::string line;
    std::getline(table, line);  // column names
    int count = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        long key = 0;
        long id = 0;
        long perms = 0;
        unsigned long size = 0;
        long creator = 0;
        if (fields >> key >> id >> perms >> size >> creator && creator == getpid()) ++count;
    }
    return count;
}

}  // namespace klv::x11host
