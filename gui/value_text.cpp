#include "gui/value_text.h"

#include <cstdio>

#include "gui/bitmap.h"
#include "gui/draw_context.h"

namespace klv::gui {

ValueText::ValueText(Rect size, Bitmap* background, int style) : Control(size, nullptr, 0, background), style_(style) {}

void ValueText::formatText(char (&text)[kValueTextSize]) const {
    text[0] = '\0';
    const float value = getValue();
    if (longFormatter_)
        longFormatter_(value, text, userData_);
    else if (shortFormatter_)
        shortFormatter_(value, text);
    else
        std::snprintf(text, sizeof text, "%2.2f", value);
    text[kValueTextSize - 1] = '\0';
}

void ValueText::draw(DrawContext& context) {
    const float shown = getValue();
    if (style_ & kNoDraw) {
        drawn(shown);
        return;
    }
    char text[kValueTextSize];
    formatText(text);
    if (background_) {
        if (getTransparency())
            background_->drawTransparent(context, size_, textBitmapOffset_);
        else
            background_->draw(context, size_, textBitmapOffset_);
    } else if (!getTransparency()) {
        context.setFillColor(backColor_);
        context.fillRect(size_);
        if (!(style_ & (kBevelRaised | kBevelSunken))) {
            context.setFrameColor(frameColor_);
            context.drawRect(size_);
        }
    }
    if (style_ & (kBevelRaised | kBevelSunken)) {
        const bool raised = (style_ & kBevelRaised) != 0;
        context.setFrameColor(raised ? backColor_ : frameColor_);
        context.moveTo({size_.left, size_.bottom});
        context.lineTo({size_.left, size_.top});
        context.lineTo({size_.right + 1, size_.top});
        context.setFrameColor(raised ? frameColor_ : backColor_);
        context.moveTo({size_.right, size_.top + 1});
        context.lineTo({size_.right, size_.bottom});
        context.lineTo({size_.left, size_.bottom});
    }
    if (!(style_ & kNoText)) {
        context.setFont(fontId_);
        context.setFillColor(backColor_);  // the cell colour of opaque text
        if (style_ & kShadowText) {
            context.setFontColor(shadowColor_);
            context.drawString(text, size_.moved(1, 1), !textTransparent_, alignment_);
        }
        context.setFontColor(fontColor_);
        context.drawString(text, size_, !textTransparent_, alignment_);
    }
    drawn(shown);
}

void ValueText::setFont(int fontId) {
    if (fontId == fontId_) return;
    fontId_ = fontId;
    setDirty(true);
}

namespace {
// Stores color into field; true when red, green or blue changed.
bool changeColor(Color& field, Color color) {
    if (sameRgb(field, color)) return false;
    field = color;
    return true;
}
}  // namespace

void ValueText::setFontColor(Color color) {
    if (changeColor(fontColor_, color)) setDirty(true);
}

void ValueText::setBackColor(Color color) {
    if (changeColor(backColor_, color)) setDirty(true);
}

void ValueText::setFrameColor(Color color) {
    if (changeColor(frameColor_, color)) setDirty(true);
}

void ValueText::setShadowColor(Color color) {
    if (changeColor(shadowColor_, color)) setDirty(true);
}

void ValueText::setHoriAlign(int alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    setDirty(true);
}

void ValueText::setStyle(int style) {
    if (style == style_) return;
    style_ = style;
    setDirty(true);
}

void ValueText::setStringConvert(LongFormatter formatter, void* userData) {
    longFormatter_ = formatter;
    userData_ = userData;
}

}  // namespace klv::gui
