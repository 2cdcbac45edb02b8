#include "gui/raster/memory_window.h"

#include "gui/frame.h"

namespace klv::gui::raster {

MemoryWindowPort::MemoryWindowPort(MemoryWindowSystem& system, Frame& frame, void* parent, int width, int height)
    : system_(system), frame_(&frame), parent_(parent), pixels_(width, height), surface_(pixels_) {
    ++system_.openWindows_;
    system_.lastWindow_ = this;
    paintPending_ = true;
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

void MemoryWindowPort::dispatchPaint() {
    if (paintPending_) paint();
}

void MemoryWindowPort::serviceEvents() {
    dispatchPaint();
}

bool MemoryWindowPort::setDropRegistered(bool registered) {
    dropRegistered_ = registered;
    return true;
}

void MemoryWindowPort::paint() {
    paintPending_ = false;
    frame_->paintWindow(surface_);
}

void MemoryWindowPort::click(Point where) {
    frame_->buttonDown(&surface_, where);
}

bool MemoryWindowPort::wheel(float distance) {
    return frame_->wheelTurned(system_.pointer_.position, distance);
}

std::unique_ptr<WindowPort> MemoryWindowSystem::createWindow(Frame& frame, void* parent, int width, int height) {
    if (refuseWindows || !parent) return nullptr;
    return std::make_unique<MemoryWindowPort>(*this, frame, parent, width, height);
}

std::unique_ptr<Surface> MemoryWindowSystem::createOffscreen(WindowPort*, int width, int height) {
    return std::make_unique<OffscreenRasterSurface>(width, height);
}

std::uint32_t MemoryWindowSystem::ticks() {
    if (scripted_) {
        if (script_.empty()) {
            pointer_.buttons = 0;
            scripted_ = false;
        } else {
            pointer_ = script_.front();
            script_.pop_front();
        }
    }
    const std::uint32_t t = now;
    now += stepMs;
    return t;
}

void MemoryWindowSystem::sleep(std::uint32_t ms) {
    sleeps.push_back(ms);
    now += ms;
}

void MemoryWindowSystem::scriptPointer(std::vector<PointerState> steps) {
    script_.assign(steps.begin(), steps.end());
    scripted_ = true;
}

}  // namespace klv::gui::raster
