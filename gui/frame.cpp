#include "gui/frame.h"

#include <cmath>
#include <new>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/scale.h"

namespace klv::gui {

namespace {
constexpr int kViewListGrowth = 10;
}

Frame::Frame(Rect size, void* parentWindow, FrameOwner* owner)
    : View(size),
      owner_(owner),
      system_(owner ? owner->windowSystem() : platformWindowSystem()),
      parentWindow_(parentWindow),
      scale_(owner ? owner->scale() : 1.0f) {
    // The first paint draws everything; idle redraws start after it.
    View::setDirty(false);
    if (!parentWindow) return;
    const Rect device = toDevice(size, scale_);
    window_ = system_.createWindow(*this, parentWindow, device.width(), device.height());
    if (!window_) {
        // A parent the window system refused: a frame that never shows.
        open_ = false;
        parentWindow_ = nullptr;
        return;
    }
    setDropRegistered(true);
}

Frame::~Frame() {
    finishClose();
}

void Frame::finishClose() {
    dragView_.reset();
    setDropRegistered(false);
    removeAll(true);
    background_.reset();
    // The port forgets this frame before it destroys the window, so the
    // destroy notification no longer reaches it.
    window_.reset();
    open_ = false;
}

Frame::Entry::Entry(Frame* frame) : frame_(frame) {
    if (frame) ++frame->depth_;
}

Frame::Entry::~Entry() {
    if (!frame_) return;
    if (--frame_->depth_ == 0 && frame_->closing_) frame_->finishClose();
    // frame_ lets go here: a frame its owner has already dropped goes now.
}

void Frame::close() {
    if (closing_) return;
    closing_ = true;
    // The end of edit of a drag cut short still reaches the host, while the
    // owner is surely there to send it.
    cancelDrag();
    owner_ = nullptr;
    if (depth_ == 0) finishClose();
}

// Hit areas are the views' rectangles on the device, edges included: a
// point on the device pixel of a scaled edge is on the view, one pixel
// further is not.
bool Frame::hits(const View& view, PointF where) const {
    if (scale_ == 1.0f) return view.getViewSize().containsInclusive(where);
    const Point device{static_cast<int>(std::floor(where.x * scale_ + 0.5f)),
                       static_cast<int>(std::floor(where.y * scale_ + 0.5f))};
    return toDevice(view.getViewSize(), scale_).containsInclusive(device);
}

template <typename F>
void Frame::withContext(F&& f) {
    Surface* surface = window_ ? window_->beginDraw() : nullptr;
    {
        DrawContext context(this, surface, window_.get());
        f(context);
    }
    if (surface) window_->endDraw(surface);
}

void Frame::draw(DrawContext& context) {
    firstDraw_ = false;
    if (background_) background_->draw(context, {0, 0, size_.width(), size_.height()});
    for (int i = 0; i < viewCount_; ++i) {
        // A full paint leaves pending redraws pending (a view that was clean
        // has just recorded what it drew).
        const bool dirty = views_[i]->isDirty();
        views_[i]->draw(context);
        if (dirty) views_[i]->setDirty(true);
    }
    if (modalView_) modalView_->draw(context);
}

void Frame::mouse(DrawContext& context, PointF where) {
    if (focusView_) {
        focusView_->looseFocus(nullptr);
        focusView_ = nullptr;
    }
    if (modalView_) {
        if (hits(*modalView_, where)) modalView_->mouse(context, where);
        return;
    }
    for (int i = viewCount_ - 1; i >= 0; --i) {
        View* view = views_[i];
        if (!view->getMouseEnabled() || !hits(*view, where)) continue;
        view->mouse(context, where);
        return;
    }
}

void Frame::update(DrawContext& context) {
    if (!open_ || closing_) return;
    if (modalView_) {
        modalView_->update(context);
        return;
    }
    if (isDirty()) {
        draw(context);
        setDirty(false);
        return;
    }
    for (int i = 0; i < viewCount_; ++i) views_[i]->update(context);
}

bool Frame::onDrop(void** items, long count, int kind, Point where) {
    if (modalView_ || focusView_) return false;
    for (int i = viewCount_ - 1; i >= 0; --i) {
        View* view = views_[i];
        if (!view->getMouseEnabled() || !view->getViewSize().containsInclusive(where)) continue;
        if (view->onDrop(items, count, kind, where)) return true;
    }
    return false;
}

// The host's wheel notification carries no position: the view under the
// pointer takes it.
bool Frame::onWheel(DrawContext*, PointF, float distance) {
    View* view = getViewAt();
    if (!view) return false;
    bool handled = false;
    withContext([&](DrawContext& context) { handled = view->onWheel(&context, mousePosition(), distance); });
    return handled;
}

bool Frame::addView(View* view) {
    if (!view) return false;
    if (viewCount_ == capacity_) {
        // On failure the list keeps what it holds; the view stays the caller's.
        View** grown = new (std::nothrow) View*[capacity_ + kViewListGrowth];
        if (!grown) return false;
        for (int i = 0; i < viewCount_; ++i) grown[i] = views_[i];
        delete[] views_;
        views_ = grown;
        capacity_ += kViewListGrowth;
    }
    views_[viewCount_++] = view;
    view->setParentFrame(this);
    return true;
}

bool Frame::removeView(View* view, bool release) {
    for (int i = 0; i < viewCount_; ++i) {
        if (views_[i] != view) continue;
        if (dragView_.get() == view) cancelDrag();
        for (int j = i + 1; j < viewCount_; ++j) views_[j - 1] = views_[j];
        --viewCount_;
        if (modalView_ == view) modalView_ = nullptr;
        if (focusView_ == view) focusView_ = nullptr;
        if (release) view->release();
        break;
    }
    return true;
}

bool Frame::removeAll(bool release) {
    if (focusView_) {
        focusView_->looseFocus(nullptr);
        focusView_ = nullptr;
    }
    modalView_ = nullptr;
    cancelDrag();
    if (release) {
        for (int i = 0; i < viewCount_; ++i) views_[i]->release();
    }
    delete[] views_;
    views_ = nullptr;
    viewCount_ = 0;
    capacity_ = 0;
    return true;
}

bool Frame::isChild(View* view) const {
    for (int i = 0; i < viewCount_; ++i) {
        if (views_[i] == view) return true;
    }
    return false;
}

void Frame::setBackground(Bitmap* background) {
    background_ = background;
}

bool Frame::setModalView(View* view) {
    if (modalView_ && view) return false;
    modalView_ = view;
    return true;
}

bool Frame::beginEdit(int tag) {
    return owner_ ? owner_->beginEdit(tag) : false;
}

bool Frame::endEdit(int tag) {
    return owner_ ? owner_->endEdit(tag) : false;
}

void Frame::releaseDrag(View* view) {
    if (dragView_.get() == view) dragView_.reset();
}

void Frame::cancelDrag() {
    // Taken first: the view's end of edit may lead back here.
    const Ref<View> view = std::move(dragView_);
    if (view) view->dragCancelled();
}

View* Frame::getViewAt() const {
    const PointF where = mousePosition();
    for (int i = viewCount_ - 1; i >= 0; --i) {
        if (hits(*views_[i], where)) return views_[i];
    }
    return nullptr;
}

void Frame::getMousePosition(Point& p) const {
    const PointF where = mousePosition();
    p = {static_cast<int>(std::floor(where.x + 0.5f)), static_cast<int>(std::floor(where.y + 0.5f))};
}

PointF Frame::mousePosition() const {
    return toDesign(window_ ? window_->mousePosition() : Point{}, scale_);
}

void Frame::setScale(float scale) {
    if (scale == scale_ || !(scale > 0.0f)) return;
    scale_ = scale;
    if (!window_ || closing_) return;
    const Rect device = toDevice(size_, scale_);
    window_->resize(device.width(), device.height());
    // Drawn anew at once, or at the first paint if there was none yet.
    if (!firstDraw_) withContext([&](DrawContext& context) { draw(context); });
}

void Frame::drawView(View* view) {
    if (closing_) return;
    withContext([&](DrawContext& context) {
        if (view && isChild(view))
            view->draw(context);
        else
            draw(context);
    });
}

void Frame::idleRedraw() {
    if (!open_ || firstDraw_ || closing_) return;
    withContext([&](DrawContext& context) { update(context); });
}

bool Frame::setDropRegistered(bool registered) {
    if (!registered && !dropRegistered_) return true;
    if (!window_) return false;
    const bool done = window_->setDropRegistered(registered);
    if (done) dropRegistered_ = registered;
    return done;
}

void Frame::paintWindow(Surface& surface) {
    if (closing_) return;
    DrawContext context(this, &surface, window_.get());
    draw(context);
}

// While a drag runs every button event belongs to it: another button going
// down or up changes the set its steps see, the left one going up ends it.
void Frame::buttonDown(Surface* surface, Point device, unsigned buttons) {
    if (closing_) return;
    if (dragView_) {
        pointerMoved(surface, device, buttons);
        return;
    }
    DrawContext context(this, surface, window_.get(), buttons);
    mouse(context, toDesign(device, scale_));
}

void Frame::pointerMoved(Surface* surface, Point device, unsigned buttons) {
    if (closing_ || !dragView_) return;
    const Ref<View> view = dragView_;
    DrawContext context(this, surface, window_.get(), buttons);
    view->mouseMoved(context, toDesign(device, scale_));
}

void Frame::buttonUp(Surface* surface, Point device, unsigned buttons) {
    if (closing_ || !dragView_) return;
    if (buttons & kLeftButton) {
        pointerMoved(surface, device, buttons);
        return;
    }
    const Ref<View> view = dragView_;
    DrawContext context(this, surface, window_.get(), buttons);
    view->mouseReleased(context, toDesign(device, scale_));
    releaseDrag(view.get());
}

bool Frame::wheelTurned(Point device, float distance, unsigned buttons) {
    if (closing_) return false;
    const PointF where = toDesign(device, scale_);
    View* view = nullptr;
    for (int i = viewCount_ - 1; i >= 0 && !view; --i) {
        if (hits(*views_[i], where)) view = views_[i];
    }
    if (!view) return false;
    bool handled = false;
    Surface* surface = window_ ? window_->beginDraw() : nullptr;
    {
        DrawContext context(this, surface, window_.get(), buttons);
        handled = view->onWheel(&context, where, distance);
    }
    if (surface) window_->endDraw(surface);
    return handled;
}

// The drag a vanished window leaves is ended by the owner at its next idle
// or its close, not here: this may run inside the host's own call that
// destroys its window.
void Frame::windowDestroyed() {
    open_ = false;
    parentWindow_ = nullptr;
}

bool Frame::dropped(void** items, long count, int kind) {
    if (closing_) return false;
    Point where;
    getMousePosition(where);
    return onDrop(items, count, kind, where);
}

}  // namespace klv::gui
