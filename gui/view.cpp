#include "gui/view.h"

namespace klv::gui {

View::View(Rect size) : size_(size), mouseRect_(size) {}

void View::update(DrawContext& context) {
    if (!isDirty()) return;
    draw(context);
    setDirty(false);
}

void View::setViewSize(Rect r) {
    size_ = r;
    setDirty(true);
}

void View::release() {
    if (refCount_ <= 0) return;
    if (--refCount_ == 0) delete this;
}

}  // namespace klv::gui
