// DrawContext: pen, fill, font and text state over one Surface, with a
// drawing offset added to every coordinate it is given. Coordinates are the
// design's; the context maps them to the device at the frame's scale (an
// edge at x lands on round(s x)). OffscreenContext draws into a memory
// surface that is copied to a window in one block.
#pragma once

#include <memory>

#include "gui/geometry.h"
#include "gui/surface.h"

namespace klv::gui {

class Bitmap;
class Frame;
class WindowPort;

class DrawContext {
public:
    // surface may be null (a context that only answers mouse queries);
    // window is where the pointer is read (null: no window).
    DrawContext(Frame* frame, Surface* surface, WindowPort* window);
    // A context for handling one input event: getMouseButtons answers the
    // buttons and modifiers the event carried.
    DrawContext(Frame* frame, Surface* surface, WindowPort* window, unsigned eventButtons);
    virtual ~DrawContext() = default;
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    Surface* surface() const { return surface_; }
    Frame* frame() const { return frame_; }
    WindowPort* window() const { return window_; }

    Point offset() const { return offset_; }
    void setOffset(Point offset) { offset_ = offset; }
    // Device pixels per design pixel.
    float scale() const { return scale_; }

    void moveTo(Point p);
    void lineTo(Point p);
    // A line between points given more finely than whole design pixels
    // (the needles); at scale 1 the points are truncated as lineTo's are.
    void line(PointF from, PointF to);
    // 0 solid, 1 dotted.
    void setLineStyle(int style);
    void setLineWidth(int width);
    // The pen colour.
    void setFrameColor(Color color);
    // Brush of fillRect and background of opaque text.
    void setFillColor(Color color);
    void setFontColor(Color color);
    // An id outside 0..7 becomes 0; size 0 takes the table's size.
    void setFont(int id, int size = 0);

    // Lines (left, top) to (right, top) to (right, bottom) to (left, bottom)
    // back to (left, top).
    void drawRect(Rect r);
    // Fills left + 1 .. right - 1, top + 1 .. bottom - 1: the outline's top
    // and left lines stay, right and bottom are exclusive.
    void fillRect(Rect r);
    // One line, vertically centred; alignment 1 centres, 2 aligns right, any
    // other value aligns left with a one-pixel margin.
    void drawString(const char* text, Rect r, bool opaque, int alignment);
    // The bitmap's pixels at this scale, from source (design units) into
    // destination; keyed leaves out the transparency key.
    void drawBitmap(Bitmap& bitmap, Rect destination, Point source, bool keyed);

    // MouseBits of the buttons and modifiers: those of the event the context
    // was made for, else as the window reports them now (no window: none).
    unsigned getMouseButtons() const;
    // The pointer relative to the window (not offset-adjusted), in design
    // pixels.
    void getMousePosition(Point& p) const;

    // Where a design point or rectangle lands on the surface.
    Point toSurface(Point p) const;
    Rect toSurface(Rect r) const;

    Color fontColor() const { return fontColor_; }
    Color frameColor() const { return frameColor_; }
    Color fillColor() const { return fillColor_; }
    int lineWidth() const { return lineWidth_; }
    int lineStyle() const { return lineStyle_; }
    int fontId() const { return fontId_; }
    int fontSize() const { return fontSize_; }
    Rect clipRect() const { return clipRect_; }

protected:
    void applyPen();
    // A line on the surface at the line width; above scale 1 a wide line is
    // parallel one-pixel lines, which every platform draws alike.
    void stroke(Point from, Point to);
    int deviceLineWidth() const;

    // The design position the surface's pixel (0, 0) stands for (an
    // offscreen of part of the window), and that position on the device.
    Point origin_;
    Point deviceOrigin_;
    float scale_ = 1.0f;
    Surface* surface_;
    WindowPort* window_;
    Frame* frame_;
    Point offset_;
    int fontId_ = 0;
    int fontSize_ = 0;
    Color fontColor_ = kWhite;
    int lineWidth_ = 1;
    Color frameColor_ = kWhite;
    Color fillColor_ = kBlack;
    int lineStyle_ = kLineSolid;
    Rect clipRect_;  // kept, not applied
    bool forEvent_ = false;
    unsigned eventButtons_ = 0;
    Point position_;  // the current position on the surface
};

class OffscreenContext : public DrawContext {
public:
    // A memory surface of width x height compatible with the frame's window,
    // filled and outlined in the background colour. position: where in the
    // frame it will be copied, so that at any scale its pixels are the
    // window's pixels there.
    OffscreenContext(Frame* frame, int width, int height, Color background, Point position = {});
    ~OffscreenContext() override;

    int width() const { return width_; }
    int height() const { return height_; }
    // One opaque block copy of the destination-sized area at source to
    // destination (shifted by target's offset).
    void copyTo(DrawContext& target, Rect destination, Point source = {});

private:
    std::unique_ptr<Surface> memory_;
    Bitmap* bitmap_ = nullptr;  // optional, released at destruction
    int width_;
    int height_;
    Color background_;
};

}  // namespace klv::gui
