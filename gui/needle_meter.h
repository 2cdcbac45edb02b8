// NeedleMeter: an analogue level meter. A dial bitmap, a clip lamp and two
// or three needles on a logarithmic scale spanning 1.9 decades (about -38 dB
// at the left stop to 0 dB at the right).
#pragma once

#include "gui/control.h"

namespace klv::gui {

class NeedleMeter : public Control {
public:
    // The compressor's meter has four inputs (black needle, lamp, blue
    // needle, red needle), the saturator's three (black, lamp, red).
    enum Kind { kFourInputs, kThreeInputs };

    // size: origin of the dial (its size is the dial bitmap's); lamp: its
    // left and top; the needles run from inner to outer radius around the
    // pivot (frame coordinates).
    NeedleMeter(Kind kind, Rect size, Bitmap* dial, Rect lamp, Bitmap* lampBitmap, int pivotX, int pivotY,
                float innerRadius, float outerRadius);

    void draw(DrawContext& context) override;

    // Each input is clamped (below 1e-8 to 1e-9, above 10 to 10) and stored;
    // the value becomes the sum of the inputs up to this one, so a changed
    // input redraws the meter.
    void setInput(int input, float level);
    void setLevel(float level) { setInput(0, level); }
    void setLamp(float clip) { setInput(1, clip); }
    // Fourth input on the compressor's meter, third on the saturator's.
    void setPeak(float peak) { setInput(kind_ == kFourInputs ? 3 : 2, peak); }
    // Compressor only: the blue needle.
    void setGainReduction(float ratio) {
        if (kind_ == kFourInputs) setInput(2, ratio);
    }
    float input(int index) const;
    int inputCount() const { return kind_ == kFourInputs ? 4 : 3; }
    Bitmap* dial() const { return dial_.get(); }
    Bitmap* lamp() const { return lamp_.get(); }
    Rect lampRect() const { return lampRect_; }

    // Where a needle for level ends, in frame coordinates, for reach r.
    Point needleEnd(float level, float reach) const;

protected:
    ~NeedleMeter() override;

private:
    void drawNeedle(DrawContext& context, float level, Color color, float outer);

    Kind kind_;
    Ref<Bitmap> dial_;
    Ref<Bitmap> lamp_;
    float innerRadius_;
    float outerRadius_;
    Rect dialRect_;
    Point pivot_;
    Point lampOn_;
    Point lampOff_;
    Rect lampRect_;
    float inputs_[4];
};

}  // namespace klv::gui
