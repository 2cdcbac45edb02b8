// ValueText: a read-out that prints its value as text over a background,
// through a formatting callback ("%2.2f" without one).
#pragma once

#include "gui/control.h"

namespace klv::gui {

// Style bits.
enum ValueTextStyle {
    kShadowText = 0x04,
    kBevelRaised = 0x80,  // top and left in the back colour, bottom and right in the frame colour
    kBevelSunken = 0x100,
    kNoText = 0x800,
    kNoDraw = 0x1000,
};

// Formatting callbacks write into a 256-byte text that is empty on entry.
constexpr int kValueTextSize = 256;
using ShortFormatter = void (*)(float value, char* text);
using LongFormatter = void (*)(float value, char* text, void* userData);

class ValueText : public Control {
public:
    ValueText(Rect size, Bitmap* background, int style = 0);

    void draw(DrawContext& context) override;

    // These redraw only when the setting really changes (colours by red,
    // green and blue).
    virtual void setFont(int fontId);
    virtual void setFontColor(Color color);
    virtual void setBackColor(Color color);
    virtual void setFrameColor(Color color);
    virtual void setShadowColor(Color color);
    virtual void setHoriAlign(int alignment);
    virtual void setStyle(int style);
    virtual int getStyle() const { return style_; }
    // These take effect at the next draw.
    virtual void setTextBitmapOffset(Point offset) { textBitmapOffset_ = offset; }
    virtual void setStringConvert(LongFormatter formatter, void* userData);
    virtual void setStringConvert(ShortFormatter formatter) { shortFormatter_ = formatter; }
    virtual void setTextTransparency(bool transparent) { textTransparent_ = transparent; }
    virtual bool getTextTransparency() const { return textTransparent_; }

    // The text the current value reads as.
    void formatText(char (&text)[kValueTextSize]) const;

private:
    int alignment_ = 1;
    int style_;
    int fontId_ = 3;
    Color fontColor_ = kWhite;
    Color backColor_ = kBlack;
    Color frameColor_ = kBlack;
    Color shadowColor_ = kRed;
    Point textBitmapOffset_;
    void* userData_ = nullptr;
    bool textTransparent_ = true;
    ShortFormatter shortFormatter_ = nullptr;
    LongFormatter longFormatter_ = nullptr;
};

}  // namespace klv::gui
