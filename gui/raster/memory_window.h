// A window system without a display: frames draw into pixel buffers, and
// tests deliver the events a window system would, at once or queued until
// the editor's next idle (the way X11 editors read theirs). Tests drive
// editors with it, and the snapshot tool renders editors with it.
#pragma once

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
    // One input event as a window system reports it: buttons and
    // modifiers (MouseBits) after the event.
    struct Event {
        enum Kind { kPress, kMotion, kRelease, kWheel, kPaint } kind;
        Point where;
        unsigned buttons = 0;
        float distance = 0.0f;  // wheel notches
    };

    MemoryWindowPort(MemoryWindowSystem& system, Frame& frame, void* parent, int width, int height);
    ~MemoryWindowPort() override;

    void* handle() const override { return const_cast<MemoryWindowPort*>(this); }
    Surface* beginDraw() override;
    void endDraw(Surface* surface) override;
    unsigned mouseButtons() override;
    Point mousePosition() override;
    // Delivers the queued events in order (the first a paint, after open).
    void serviceEvents() override;
    bool setDropRegistered(bool registered) override;
    void resize(int width, int height) override { pixels_ = PixelBuffer(width, height); }

    // Each delivered at once, as a window procedure gets its messages.
    void paint();
    void deliver(const Event& event);
    void press(Point where, unsigned buttons) { deliver({Event::kPress, where, buttons}); }
    void move(Point where, unsigned buttons) { deliver({Event::kMotion, where, buttons}); }
    void release(Point where, unsigned buttons) { deliver({Event::kRelease, where, buttons}); }
    // A press and its release at where, the release dropping the left button.
    void click(Point where, unsigned buttons);
    // A wheel turn at the pointer, with the pointer's buttons.
    bool wheel(float distance);
    // For the next serviceEvents.
    void queue(const Event& event) { queued_.push_back(event); }
    void invalidate() { queue({Event::kPaint, {}}); }

    PixelBuffer& pixels() { return pixels_; }
    void* parent() const { return parent_; }
    bool dropRegistered() const { return dropRegistered_; }
    // Bounding box of what each beginDraw/endDraw pair drew (empty boxes
    // included), oldest first.
    const std::vector<Rect>& drawnAreas() const { return drawn_; }
    void clearDrawnAreas() { drawn_.clear(); }

private:
    // Inside an Entry that the caller holds.
    bool handle(const Event& event);

    MemoryWindowSystem& system_;
    Frame* frame_;
    void* parent_;
    PixelBuffer pixels_;
    RasterSurface surface_;
    std::vector<Rect> drawn_;
    std::deque<Event> queued_;
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
    double displayScale(void*) override { return screenScale; }

    // What a query of the pointer answers (events carry their own state).
    void setPointer(unsigned buttons, Point position) { pointer_ = {buttons, position}; }
    PointerState pointer() const { return pointer_; }

    bool refuseWindows = false;  // createWindow fails, as for a bad parent
    double screenScale = 1.0;    // the display's scale, as displayScale answers

    int openWindows() const { return openWindows_; }
    MemoryWindowPort* lastWindow() const { return lastWindow_; }

private:
    friend class MemoryWindowPort;
    PointerState pointer_;
    int openWindows_ = 0;
    MemoryWindowPort* lastWindow_ = nullptr;
};

}  // namespace klv::gui::raster
