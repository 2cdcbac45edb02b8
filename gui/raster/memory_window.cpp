#include "gui/raster/memory_window.h"

#include <algorithm>

#include "gui/frame.h"

namespace klv::gui::raster {

MemoryWindowPort::MemoryWindowPort(MemoryWindowSystem& system, Frame& frame, void* parent, int width, int height)
    : system_(system), frame_(&frame), parent_(parent), pixels_(width, height), surface_(pixels_) {
    ++system_.openWindows_;
    system_.lastWindow_ = this;
    // A new window is painted when it first shows.
    invalidate();
}

MemoryWindowPort::~MemoryWindowPort() {
    --system_.openWindows_;
    if (system_.lastWindow_ == this) system_.lastWindow_ = nullptr;
}

Surface* MemoryWindowPort::beginDraw() {
    surface_.resetTouched();
    return &surface_;
}

void MemoryWindowPort::endDraw(Surface*) {
    drawn_.push_back(surface_.touched());
}

unsigned MemoryWindowPort::mouseButtons() {
    return system_.pointer_.buttons;
}

Point MemoryWindowPort::mousePosition() {
    return system_.pointer_.position;
}

// The entry may end with the frame destroying this port: nothing after it.
void MemoryWindowPort::serviceEvents() {
    Frame::Entry entry(frame_);
    while (!queued_.empty() && !frame_->isClosing()) {
        const Event event = queued_.front();
        queued_.pop_front();
        handle(event);
    }
}

bool MemoryWindowPort::setDropRegistered(bool registered) {
    dropRegistered_ = registered;
    return true;
}

void MemoryWindowPort::paint() {
    deliver({Event::kPaint, {}});
}

void MemoryWindowPort::deliver(const Event& event) {
    Frame::Entry entry(frame_);
    handle(event);
}

bool MemoryWindowPort::handle(const Event& event) {
    switch (event.kind) {
        case Event::kPaint:
            // A paint validates the whole window.
            queued_.erase(
                std::remove_if(queued_.begin(), queued_.end(), [](const Event& e) { return e.kind == Event::kPaint; }),
                queued_.end());
            frame_->paintWindow(surface_);
            return true;
        case Event::kPress:
            frame_->buttonDown(&surface_, event.where, event.buttons);
            return true;
        case Event::kMotion:
            frame_->pointerMoved(&surface_, event.where, event.buttons);
            return true;
        case Event::kRelease:
            frame_->buttonUp(&surface_, event.where, event.buttons);
            return true;
        case Event::kWheel:
            return frame_->wheelTurned(event.where, event.distance, event.buttons);
    }
    return false;
}

void MemoryWindowPort::click(Point where, unsigned buttons) {
    Frame::Entry entry(frame_);
    handle({Event::kPress, where, buttons});
    if (!frame_->isClosing()) handle({Event::kRelease, where, buttons & ~kLeftButton});
}

bool MemoryWindowPort::wheel(float distance) {
    Frame::Entry entry(frame_);
    return handle({Event::kWheel, system_.pointer_.position, system_.pointer_.buttons, distance});
}

std::unique_ptr<WindowPort> MemoryWindowSystem::createWindow(Frame& frame, void* parent, int width, int height) {
    if (refuseWindows || !parent) return nullptr;
    return std::make_unique<MemoryWindowPort>(*this, frame, parent, width, height);
}

std::unique_ptr<Surface> MemoryWindowSystem::createOffscreen(WindowPort*, int width, int height) {
    return std::make_unique<OffscreenRasterSurface>(width, height);
}

}  // namespace klv::gui::raster
