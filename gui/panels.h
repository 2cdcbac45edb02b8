// OverlayPanel: a large bitmap shown over the editor when its small trigger
// area is clicked, modal until a click inside it closes it. AboutPanel adds
// the about texts.
#pragma once

#include "gui/control.h"

namespace klv::gui {

class OverlayPanel : public Control {
public:
    // trigger: where a click opens it; display: where the bitmap shows
    // (from source) while open.
    OverlayPanel(Rect trigger, ControlListener* listener, int tag, Bitmap* bitmap, Rect display, Point source);

    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, PointF where) override;

    bool isOpen() const { return getValue() != 0.0f; }
    Rect displayArea() const { return display_; }

private:
    Rect display_;
    Rect saved_;
    Point source_;
};

class AboutPanel : public OverlayPanel {
public:
    // Up to this many rows of text: the product name and version, two more
    // rows below it, and the credit line.
    static constexpr int kRows = 3;

    AboutPanel(Rect trigger, ControlListener* listener, int tag, Bitmap* bitmap, Rect display, Point source,
               Point textOrigin);

    void draw(DrawContext& context) override;

    // row 0: the product name and version; rows 1, 2: further lines.
    void setText(int row, const char* text);

private:
    Point textOrigin_;
    const char* rows_[kRows] = {"", "", ""};
};

}  // namespace klv::gui
