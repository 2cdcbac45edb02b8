#include "gui/needle_meter.h"

#include <cmath>

#include "gui/bitmap.h"
#include "gui/draw_context.h"
#include "gui/pixel_math.h"

namespace klv::gui {

namespace {

constexpr float kFloor = 1e-8f;  // drawn no lower: the left stop
constexpr float kStored = 1e-9f;
constexpr float kCeiling = 10.0f;
constexpr float kBlueReach = 0.7f;  // the gain-reduction needle is shorter

float clampInput(float level) {
    if (level < kFloor) return kStored;
    if (level > kCeiling) return kCeiling;
    return level;
}

// Scale position: p = log10(x) / 1.9 + 1, held to -0.043..1.043, so 0 dB is
// p = 1 and about -38 dB p = 0; the needle turns from 135 degrees (p = 0)
// to 45 degrees (p = 1). A non-finite level stands at the nearest stop.
double needleAngle(float level) {
    double x = drawableValue(level, kFloor, kCeiling);
    if (x < kFloor) x = kFloor;
    double p = std::log10(x) * 0.5263157 + 1.0;
    if (p < -0.043) p = -0.043;
    if (p > 1.043) p = 1.043;
    return 2.356194490192345 - p * 1.5707964;
}

}  // namespace

NeedleMeter::NeedleMeter(Kind kind, Rect size, Bitmap* dial, Rect lamp, Bitmap* lampBitmap, int pivotX, int pivotY,
                         float innerRadius, float outerRadius)
    : Control(size, nullptr, 0, nullptr),
      kind_(kind),
      dial_(dial),
      lamp_(lampBitmap),
      innerRadius_(innerRadius),
      outerRadius_(outerRadius),
      pivot_{pivotX, pivotY} {
    const int dialWidth = dial_ ? dial_->width() : 0;
    const int dialHeight = dial_ ? dial_->height() : 0;
    dialRect_ = {size.left, size.top, size.left + dialWidth, size.top + dialHeight};
    const int lampWidth = lamp_ ? lamp_->width() : 0;
    const int lampHeight = lamp_ ? lamp_->height() / 2 : 0;
    lampOn_ = {0, lampHeight};
    lampRect_ = {lamp.left, lamp.top, lamp.left + lampWidth, lamp.top + lampHeight};
    const float start = kind_ == kFourInputs ? 1e-7f : 1e-8f;
    for (float& in : inputs_) in = start;
}

NeedleMeter::~NeedleMeter() = default;

float NeedleMeter::input(int index) const {
    return index >= 0 && index < inputCount() ? inputs_[index] : 0.0f;
}

void NeedleMeter::setInput(int index, float level) {
    if (index < 0 || index >= inputCount()) return;
    inputs_[index] = clampInput(level);
    float sum = 0.0f;
    for (int i = 0; i <= index; ++i) sum += input(i);
    setValue(sum);
}

Point NeedleMeter::needleEnd(float level, float reach) const {
    const double angle = needleAngle(level);
    return {clampedInt(pivot_.x + reach * std::cos(angle)), clampedInt(pivot_.y - reach * std::sin(angle))};
}

// Above scale 1 the ends keep their fractions: the needle moves in device
// pixels, not in steps of the design's.
void NeedleMeter::drawNeedle(DrawContext& context, float level, Color color, float outer) {
    context.setFrameColor(color);
    if (context.scale() == 1.0f) {
        context.moveTo(needleEnd(level, innerRadius_));
        context.lineTo(needleEnd(level, outer));
        return;
    }
    const double angle = needleAngle(level);
    const auto end = [&](float reach) {
        return PointF{static_cast<float>(pivot_.x + reach * std::cos(angle)),
                      static_cast<float>(pivot_.y - reach * std::sin(angle))};
    };
    context.line(end(innerRadius_), end(outer));
}

void NeedleMeter::draw(DrawContext& context) {
    const float shown = getValue();
    context.setLineStyle(kLineSolid);
    context.setLineWidth(1);
    if (dial_) dial_->draw(context, dialRect_);
    if (lamp_) lamp_->draw(context, lampRect_, input(1) > 0.5f ? lampOn_ : lampOff_);
    if (kind_ == kFourInputs) {
        drawNeedle(context, input(3), kRed, outerRadius_);
        drawNeedle(context, input(0), kBlack, outerRadius_);
        drawNeedle(context, input(2), kBlue, outerRadius_ * kBlueReach);
    } else {
        drawNeedle(context, input(2), kRed, outerRadius_);
        drawNeedle(context, input(0), kBlack, outerRadius_);
    }
    drawn(shown);
}

}  // namespace klv::gui
