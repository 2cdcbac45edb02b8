// Frame: the editor's child window inside the host's window, holding a flat
// list of views drawn over one background bitmap. It dispatches mouse, wheel
// and drops to its views and redraws the dirty ones when the editor idles.
//
// Threads. Only the window's thread (the host's user-interface thread, the
// one that opens, idles and closes the editor) creates, changes, draws or
// destroys a frame and its views. Other threads (the host's automation, the
// audio thread) never touch a view: they leave word in atomics of the editor
// (which parameters changed, a meter reset), and the next idle or drag step
// applies it here. So a close can free the views without a race.
//
// Input. Every event arrives as plain data with the buttons and modifiers it
// carried (MouseBits after the event), never read back from the system
// later: by the time a queued press is handled the button may be up again.
// A drag is a series of events: the press captures the pointer for the
// control (captureDrag), each motion is one step, the release ends it. No
// loop runs inside a handler, so the host's own loop keeps running.
//
// Lifetime. Whatever enters the frame from outside holds an Entry. A close
// asked for while an entry runs (the host closing the editor from a callback
// the editor made) ends any drag with its end of edit at once, detaches the
// owner, and destroys the window and the views when the outermost entry ends;
// the running handler meanwhile only finds the frame closing.
#pragma once

#include <memory>

#include "gui/frame_owner.h"
#include "gui/ref.h"
#include "gui/view.h"
#include "gui/window_system.h"

namespace klv::gui {

class Bitmap;

class Frame : public View {
public:
    // Creates the child window at once when parentWindow is not null, through
    // the owner's window system (the platform's without an owner), and
    // registers it for drops.
    Frame(Rect size, void* parentWindow, FrameOwner* owner);

    void draw(DrawContext& context) override;
    void mouse(DrawContext& context, PointF where) override;
    void update(DrawContext& context) override;
    bool onDrop(void** items, long count, int kind, Point where) override;
    bool onWheel(DrawContext* context, PointF where, float distance) override;

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
    Bitmap* getBackground() const { return background_.get(); }
    // Refused (false) while another modal view is set; null clears.
    bool setModalView(View* view);
    View* getModalView() const { return modalView_; }
    void setFocusView(View* view) { focusView_ = view; }
    View* getFocusView() const { return focusView_; }

    // Tell the host that a control's drag starts and ends (nothing once the
    // frame is closing).
    bool beginEdit(int tag);
    bool endEdit(int tag);

    // The following motions and the release go to view until it lets go
    // (releaseDrag) or the drag is cut short (cancelDrag). The frame holds a
    // reference meanwhile.
    void captureDrag(View* view) { dragView_ = view; }
    void releaseDrag(View* view);
    View* dragView() const { return dragView_.get(); }
    // Ends a drag in progress without its release: the view sends its end
    // of edit.
    void cancelDrag();

    // The last view whose rectangle holds the pointer (inclusive edges),
    // mouse-enabled or not; null if none.
    View* getViewAt() const;
    // The pointer in frame coordinates (rounded to whole design pixels).
    void getMousePosition(Point& p) const;
    PointF mousePosition() const;
    // Draws one view of the list (or, for null or a stranger, the whole
    // frame) on the window.
    void drawView(View* view);
    // Redraws the dirty views on the window; nothing while closed or before
    // the first full paint.
    void idleRedraw();
    bool setDropRegistered(bool registered);

    // Held by every call into the frame from outside: see the top of this
    // file.
    class Entry {
    public:
        explicit Entry(Frame* frame);
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        Ref<Frame> frame_;
    };
    // True while an entry runs (a handler, the editor's idle).
    bool isHandling() const { return depth_ > 0; }
    // The owner is done with the window: see the top of this file. The
    // frame itself goes with its last reference.
    void close();
    bool isClosing() const { return closing_; }

    bool isOpen() const { return open_; }
    bool hasPainted() const { return !firstDraw_; }
    FrameOwner* owner() const { return owner_; }
    WindowPort* window() const { return window_.get(); }
    WindowSystem& windowSystem() const { return system_; }
    void* parentWindow() const { return parentWindow_; }

    // Device pixels per design pixel; the window is the frame's size times
    // it. A new scale resizes the window and draws it anew.
    float scale() const { return scale_; }
    void setScale(float scale);

    // Window entry points, called by the platform on the window's thread,
    // each inside an Entry, with the event's position in device pixels.
    // buttons: MouseBits after the event.
    void paintWindow(Surface& surface);
    void buttonDown(Surface* surface, Point where, unsigned buttons);
    void pointerMoved(Surface* surface, Point where, unsigned buttons);
    void buttonUp(Surface* surface, Point where, unsigned buttons);
    bool wheelTurned(Point where, float distance, unsigned buttons);
    void windowDestroyed();
    bool dropped(void** items, long count, int kind);

protected:
    ~Frame() override;

private:
    template <typename F>
    void withContext(F&& f);
    bool hits(const View& view, PointF where) const;
    // The rest of a close: drop registration, window, views, background.
    void finishClose();

    FrameOwner* owner_;
    WindowSystem& system_;
    void* parentWindow_;
    Ref<Bitmap> background_;
    int viewCount_ = 0;
    int capacity_ = 0;
    View** views_ = nullptr;
    View* modalView_ = nullptr;
    View* focusView_ = nullptr;
    Ref<View> dragView_;
    bool firstDraw_ = true;
    bool open_ = true;
    bool dropRegistered_ = false;
    bool closing_ = false;
    int depth_ = 0;
    float scale_ = 1.0f;
    std::unique_ptr<WindowPort> window_;
};

}  // namespace klv::gui
