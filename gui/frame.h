// Frame: the editor's child window inside the host's window, holding a flat
// list of views drawn over one background bitmap. It dispatches mouse, wheel
// and drops to its views and redraws the dirty ones when the editor idles.
#pragma once

#include <cstdint>
#include <memory>

#include "gui/view.h"
#include "gui/window_system.h"

namespace klv {
class GuiEditorBase;
}

namespace klv::gui {

class Bitmap;

class Frame : public View {
public:
    // Creates the child window at once when parentWindow is not null, through
    // the editor's window system (the platform's without an editor), and
    // registers it for drops.
    Frame(Rect size, void* parentWindow, GuiEditorBase* editor);

    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, Point where) override;
    void update(DrawContext& context) override;
    bool onDrop(void** items, long count, int kind, Point where) override;
    bool onWheel(DrawContext* context, Point where, float distance) override;

    // Appends; the view's existing reference is taken over. False (the view
    // stays the caller's) when the list cannot grow.
    virtual bool addView(View* view);
    // Removes the first matching entry; true also when there was none.
    virtual bool removeView(View* view, bool release = true);
    virtual bool removeAll(bool release = true);
    virtual bool isChild(View* view) const;

    int viewCount() const { return viewCount_; }
    View* viewAt(int index) const { return index >= 0 && index < viewCount_ ? views_[index] : nullptr; }

    void setBackground(Bitmap* background);
    Bitmap* getBackground() const { return background_; }
    // Refused (false) while another modal view is set; null clears.
    bool setModalView(View* view);
    View* getModalView() const { return modalView_; }
    void setFocusView(View* view) { focusView_ = view; }
    View* getFocusView() const { return focusView_; }

    // Tell the host that a control's drag starts and ends.
    bool beginEdit(int tag);
    bool endEdit(int tag);

    // The last view whose rectangle holds the pointer (inclusive edges),
    // mouse-enabled or not; null if none.
    View* getViewAt() const;
    void getMousePosition(Point& p) const;
    // Draws one view of the list (or, for null or a stranger, the whole
    // frame) on the window.
    void drawView(View* view);
    // Redraws the dirty views on the window; nothing while closed or before
    // the first full paint.
    void idleRedraw();
    bool setDropRegistered(bool registered);

    bool isOpen() const { return open_; }
    bool hasPainted() const { return !firstDraw_; }
    GuiEditorBase* getEditor() const { return editor_; }
    WindowPort* window() const { return window_.get(); }
    WindowSystem& windowSystem() const { return system_; }
    void* parentWindow() const { return parentWindow_; }

    // Window entry points, called by the platform on the window's thread.
    void paintWindow(Surface& surface);
    void buttonDown(Surface* surface, Point where);
    bool wheelTurned(Point where, float distance);
    void windowDestroyed();
    bool dropped(void** items, long count, int kind);

protected:
    ~Frame() override;

private:
    template <typename F>
    void withContext(F&& f);

    GuiEditorBase* editor_;
    WindowSystem& system_;
    void* parentWindow_;
    Bitmap* background_ = nullptr;
    int viewCount_ = 0;
    int capacity_ = 0;
    View** views_ = nullptr;
    View* modalView_ = nullptr;
    View* focusView_ = nullptr;
    bool firstDraw_ = true;
    bool open_ = true;
    bool dropRegistered_ = false;
    std::unique_ptr<WindowPort> window_;
};

}  // namespace klv::gui
