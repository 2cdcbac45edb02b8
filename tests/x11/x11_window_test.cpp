// The X11 window port with a stub editor whose one view records what
// reaches it: events from the server reach the frame as the toolkit's calls,
// the window shows the raster pixels exactly (through shared memory and
// through XPutImage), and failures cost neither the process nor the host's
// error handler. Needs $DISPLAY (the test runs under Xvfb).
// GoogleTest before any X11 header: Xlib's None macro breaks its templates.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

#include "gui/x11/x11_window.h"

#include <unistd.h>

#include <tuple>
#include <vector>

#include "gui/draw_context.h"
#include "gui/frame.h"
#include "host/gui_editor_base.h"

namespace klv::gui::x11 {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

// What reached the view: the kind of event ('d' press, 'm' motion, 'u'
// release), where, and the buttons and modifiers its context answered.
struct Input {
    char kind;
    PointF where;
    unsigned buttons;
};

// Fills itself in colour (with a line, so the picture is not uniform) and
// records clicks, drags and wheel turns; a left press starts a drag.
class RecordingView : public View {
public:
    RecordingView() : View({0, 0, kWidth, kHeight}) {}
    void draw(DrawContext& context) override {
        ++draws;
        context.setFillColor(colour);
        context.fillRect({-1, -1, kWidth, kHeight});
        context.setFrameColor(kYellow);
        context.moveTo({0, 3});
        context.lineTo({kWidth, kHeight / 2});
        setDirty(false);
    }
    void mouse(DrawContext& context, PointF where) override {
        clicks.push_back(where);
        inputs.push_back({'d', where, context.getMouseButtons()});
        if (context.getMouseButtons() & kLeftButton) getParentFrame()->captureDrag(this);
    }
    void mouseMoved(DrawContext& context, PointF where) override {
        inputs.push_back({'m', where, context.getMouseButtons()});
    }
    void mouseReleased(DrawContext& context, PointF where) override {
        inputs.push_back({'u', where, context.getMouseButtons()});
    }
    bool onWheel(DrawContext*, PointF, float distance) override {
        wheel.push_back(distance);
        return true;
    }

    Color colour{10, 20, 30, 0};
    int draws = 0;
    std::vector<PointF> clicks;
    std::vector<Input> inputs;
    std::vector<float> wheel;
};

class StubEditor : public GuiEditorBase {
public:
    explicit StubEditor(WindowSystem& system) : GuiEditorBase(nullptr) {
        setWindowSystem(system);
        designRect_ = {0, 0, kHeight, kWidth};
    }
    long open(void* parent) override {
        GuiEditorBase::open(parent);
        if (!createFrame(parent)) return 0;
        view = new RecordingView;
        frame_->addView(view);
        return 1;
    }
    X11WindowPort* port() const { return frame_ ? static_cast<X11WindowPort*>(frame_->window()) : nullptr; }

    RecordingView* view = nullptr;
};

class X11WindowTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        // The test runs under an X server of its own: without one it fails.
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "no X display";
        XSetErrorHandler(countHostError);
        hostErrors = 0;
        system_.trySharedMemory = GetParam();
        parent_ = makeWindow(CopyFromParent);
    }
    void TearDown() override {
        if (!display_) return;
        EXPECT_EQ(hostErrors, 0);
        EXPECT_EQ(XSetErrorHandler(countHostError), countHostError) << "the host's handler was replaced";
        XCloseDisplay(display_);
        XSetErrorHandler(nullptr);
    }

    // A top-level window; of the given visual (with a colormap of its own)
    // or of the root's.
    Window makeWindow(unsigned windowClass, const XVisualInfo* visual = nullptr) {
        XSetWindowAttributes attributes{};
        unsigned long mask = 0;
        if (visual) {
            attributes.colormap = XCreateColormap(display_, DefaultRootWindow(display_), visual->visual, AllocNone);
            mask = CWColormap | CWBorderPixel;
        }
        const Window window = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, kWidth, kHeight, 0,
                                            visual ? visual->depth : CopyFromParent, windowClass,
                                            visual ? visual->visual : CopyFromParent, mask, &attributes);
        XMapWindow(display_, window);
        XSync(display_, False);
        return window;
    }
    // Sends an event to the editor's window as the server would.
    void send(XEvent event, long mask) {
        event.xany.window = editor_.port()->window();
        XSendEvent(display_, event.xany.window, False, mask, &event);
        XSync(display_, False);
    }
    // state: as X gives it, before the event.
    void sendButton(unsigned button, int x, int y, int type = ButtonPress, unsigned state = 0) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.button = button;
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.state = state;
        send(event, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask);
    }
    void sendMotion(int x, int y, unsigned state) {
        XEvent event{};
        event.xmotion.type = MotionNotify;
        event.xmotion.x = x;
        event.xmotion.y = y;
        event.xmotion.state = state;
        send(event, ButtonMotionMask);
    }
    void sendExpose(int count) {
        XEvent event{};
        event.xexpose.type = Expose;
        event.xexpose.width = kWidth;
        event.xexpose.height = kHeight;
        event.xexpose.count = count;
        send(event, ExposureMask);
    }
    // The window's pixels as the server has them, against the buffer; with
    // a 32-bit visual the top byte must say opaque.
    void expectWindowShowsBuffer() {
        X11WindowPort* port = editor_.port();
        XWindowAttributes attributes;
        XGetWindowAttributes(display_, port->window(), &attributes);
        const unsigned long opaque = attributes.depth == 32 ? 0xFF000000u : 0u;
        XImage* image = XGetImage(display_, port->window(), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        int differences = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x)
                differences += (XGetPixel(image, x, y) & 0xFFFFFFFFu) != (port->pixels().at(x, y) | opaque);
        }
        XDestroyImage(image);
        EXPECT_EQ(differences, 0);
    }
    void openEditor() {
        ASSERT_EQ(editor_.open(reinterpret_cast<void*>(parent_)), 1);
        for (int i = 0; i < 100 && editor_.view->draws == 0; ++i) {
            editor_.idle();
            usleep(5000);
        }
        ASSERT_GT(editor_.view->draws, 0) << "no Expose painted the window";
    }

    Display* display_ = nullptr;
    Window parent_ = 0;
    X11WindowSystem system_;
    StubEditor editor_{system_};
};

TEST_P(X11WindowTest, WindowShowsTheRasterPixelsAfterPaintAndRedraw) {
    ASSERT_NO_FATAL_FAILURE(openEditor());
    EXPECT_EQ(editor_.port()->sharedMemory(), GetParam());
    expectWindowShowsBuffer();
    editor_.view->colour = {200, 100, 50, 0};
    editor_.view->setDirty(true);
    editor_.idle();
    EXPECT_EQ(editor_.port()->pixels().at(kWidth - 1, kHeight - 1), 0xC86432u);
    expectWindowShowsBuffer();
}

// An ARGB parent lends the child its 32-bit visual; a DirectColor parent's
// visual does not fit the pixels, so the child takes the screen's default.
TEST_P(X11WindowTest, ParentsOfOtherVisuals) {
    for (const auto& [depth, visualClass, childDepth] : {std::tuple{32, TrueColor, 32}, {24, DirectColor, 24}}) {
        XVisualInfo visual;
        ASSERT_TRUE(XMatchVisualInfo(display_, DefaultScreen(display_), depth, visualClass, &visual));
        parent_ = makeWindow(InputOutput, &visual);
        ASSERT_NO_FATAL_FAILURE(openEditor());
        XWindowAttributes attributes;
        XGetWindowAttributes(display_, editor_.port()->window(), &attributes);
        EXPECT_EQ(attributes.depth, childDepth);
        EXPECT_EQ(attributes.visual->c_class, TrueColor);
        expectWindowShowsBuffer();
        editor_.close();
    }
}

TEST_P(X11WindowTest, ButtonsAndWheelReachTheFrame) {
    ASSERT_NO_FATAL_FAILURE(openEditor());
    // The wheel goes to the view under the pointer.
    XWarpPointer(display_, None, editor_.port()->window(), 0, 0, 0, 0, 10, 11);
    XSync(display_, False);
    EXPECT_EQ(editor_.port()->mousePosition().x, 10);
    EXPECT_EQ(editor_.port()->mousePosition().y, 11);
    sendButton(Button1, 5, 6);
    sendButton(Button1, 5, 6, ButtonRelease, Button1Mask);
    sendButton(Button3, 7, 8);
    sendButton(Button4, 1, 1);
    sendButton(Button5, 1, 1);
    editor_.idle();
    ASSERT_EQ(editor_.view->clicks.size(), 2u);
    EXPECT_EQ(editor_.view->clicks[0].x, 5);
    EXPECT_EQ(editor_.view->clicks[0].y, 6);
    EXPECT_EQ(editor_.view->clicks[1].x, 7);
    EXPECT_EQ(editor_.view->wheel, (std::vector<float>{1.0f, -1.0f}));
}

// A whole drag waiting at one idle, as a host that idles every 30 ms finds a
// quick one: each event reaches the frame with the state it carried (the
// server's pointer has no button down: these come from XSendEvent), and an
// Expose series in between paints once.
TEST_P(X11WindowTest, WaitingEventsReachTheFrameWithTheirOwnState) {
    ASSERT_NO_FATAL_FAILURE(openEditor());
    const int draws = editor_.view->draws;
    sendButton(Button1, 5, 6, ButtonPress, ShiftMask);
    sendExpose(1);
    sendMotion(9, 6, Button1Mask | ShiftMask);
    sendExpose(0);
    sendButton(Button1, 12, 7, ButtonRelease, Button1Mask | ControlMask);
    editor_.idle();
    const std::vector<Input>& in = editor_.view->inputs;
    ASSERT_EQ(in.size(), 3u);
    EXPECT_EQ(in[0].kind, 'd');
    EXPECT_EQ(in[0].buttons, kLeftButton | kShiftKey);
    EXPECT_EQ(in[1].kind, 'm');
    EXPECT_EQ(in[1].where.x, 9);
    EXPECT_EQ(in[1].buttons, kLeftButton | kShiftKey);
    EXPECT_EQ(in[2].kind, 'u');
    EXPECT_EQ(in[2].where.x, 12);
    EXPECT_EQ(in[2].buttons, kControlKey);  // after the release
    EXPECT_EQ(editor_.view->draws, draws + 1);
    EXPECT_EQ(editor_.getFrame()->dragView(), nullptr);
}

// The editor's client killed from another connection (as a window manager
// or the host may): the process lives on, the frame stops, and the next
// open makes a new connection that works.
TEST_P(X11WindowTest, ABrokenConnectionLosesTheWindowNotTheProcess) {
    ASSERT_NO_FATAL_FAILURE(openEditor());
    XKillClient(display_, editor_.port()->window());
    XSync(display_, False);
    editor_.idle();
    editor_.idle();
    EXPECT_TRUE(editor_.port()->connectionLost());
    EXPECT_FALSE(editor_.getFrame()->isOpen());
    editor_.close();
    ASSERT_NO_FATAL_FAILURE(openEditor());
    expectWindowShowsBuffer();
}

TEST_P(X11WindowTest, ParentsThatCannotHoldTheWindowAreRefused) {
    const Window stale = makeWindow(CopyFromParent);
    XDestroyWindow(display_, stale);
    for (const Window parent : {Window{0}, stale, makeWindow(InputOnly)}) {
        EXPECT_EQ(editor_.open(reinterpret_cast<void*>(parent)), 0) << parent;
        editor_.close();
    }
}

TEST_P(X11WindowTest, ParentDestroyedUnderTheEditor) {
    ASSERT_NO_FATAL_FAILURE(openEditor());
    XDestroyWindow(display_, parent_);
    XSync(display_, False);
    // Drawing before the editor has read the notification finds the window
    // gone; the frame stops drawing.
    editor_.view->setDirty(true);
    editor_.getFrame()->idleRedraw();
    EXPECT_FALSE(editor_.getFrame()->isOpen());
    EXPECT_EQ(editor_.port()->beginDraw(), nullptr);
    editor_.close();
}

INSTANTIATE_TEST_SUITE_P(Presentation, X11WindowTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "SharedMemory" : "PutImage";
                         });

}  // namespace
}  // namespace klv::gui::x11
