// A window system without a display: frames draw into pixel buffers, the
// pointer and the clock are scripted. Tests drive editors with it step by
// step, and the snapshot tool renders editors with it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "gui/raster/pixel_buffer.h"
#include "gui/raster/raster_surface.h"
#include "gui/window_system.h"

namespace klv::gui::raster {

class MemoryWindowSystem;

class MemoryWindowPort : public WindowPort {
public:
    MemoryWindowPort(MemoryWindowSystem& system, Frame& frame, void* parent, int width, int height);
    ~MemoryWindowPort() override;

    void* handle() const override { return const_cast<MemoryWindowPort*>(this); }
    Surface* beginDraw() override;
    void endDraw(Surface* surface) override;
    unsigned mouseButtons() override;
    Point mousePosition() override;
    void dispatchPaint() override;
    void serviceEvents() override;
    bool setDropRegistered(bool registered) override;

    // What the system would send the window.
    void paint();                                // a paint message: the whole frame
    void invalidate() { paintPending_ = true; }  // paint at the next dispatch
    void click(Point where);                     // a button press at where
    bool wheel(float distance);                  // a wheel turn at the pointer

    PixelBuffer& pixels() { return pixels_; }
    void* parent() const { return parent_; }
    bool dropRegistered() const { return dropRegistered_; }
    // Bounding box of what each beginDraw/endDraw pair drew (empty boxes
    // included), oldest first.
    const std::vector<Rect>& drawnAreas() const { return drawn_; }
    void clearDrawnAreas() { drawn_.clear(); }

private:
    MemoryWindowSystem& system_;
    Frame* frame_;
    void* parent_;
    PixelBuffer pixels_;
    RasterSurface surface_;
    std::vector<Rect> drawn_;
    bool paintPending_ = false;
    bool dropRegistered_ = false;
};

class MemoryWindowSystem : public WindowSystem {
public:
    struct PointerState {
        unsigned buttons = 0;
        Point position;
    };

    std::unique_ptr<WindowPort> createWindow(Frame& frame, void* parent, int width, int height) override;
    std::unique_ptr<Surface> createOffscreen(WindowPort* window, int width, int height) override;
    // Each read is one step of a control's tracking loop (the editor reads
    // the clock once per step): it takes the next scripted pointer state and
    // advances the clock by the step time.
    std::uint32_t ticks() override;
    void sleep(std::uint32_t ms) override;
    unsigned mouseButtons() override { return pointer_.buttons; }

    void setPointer(unsigned buttons, Point position) { pointer_ = {buttons, position}; }
    PointerState pointer() const { return pointer_; }
    // States for the following tracking steps; after the last one every
    // button is released where the pointer stands.
    void scriptPointer(std::vector<PointerState> steps);
    bool scriptDone() const { return script_.empty(); }

    std::uint32_t now = 0;     // the clock, in ms
    std::uint32_t stepMs = 0;  // added by every read of the clock
    std::vector<std::uint32_t> sleeps;
    bool refuseWindows = false;  // createWindow fails, as for a bad parent

    int openWindows() const { return openWindows_; }
    MemoryWindowPort* lastWindow() const { return lastWindow_; }

private:
    friend class MemoryWindowPort;
    PointerState pointer_;
    std::deque<PointerState> script_;
    bool scripted_ = false;
    int openWindows_ = 0;
    MemoryWindowPort* lastWindow_ = nullptr;
};

}  // namespace klv::gui::raster
