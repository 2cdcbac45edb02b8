// The view tree, the redraw cycle and the editor base's idle rules, on the
// memory window system.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gui/draw_context.h"
#include "gui/raster/raster_surface.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/alloc_counter.h"

namespace klv::test {
namespace {

using gui::Point;
using gui::Rect;

// A view that logs what happens to it as "<event><id>".
class ProbeView : public gui::View {
public:
    ProbeView(char id, Rect size, std::vector<std::string>& log) : View(size), id_(id), log_(log) {}
    void draw(gui::DrawContext&) override { log_.push_back(std::string("d") + id_); }
    void mouse(gui::DrawContext&, gui::PointF) override { log_.push_back(std::string("m") + id_); }

protected:
    ~ProbeView() override { log_.push_back(std::string("x") + id_); }

private:
    char id_;
    std::vector<std::string>& log_;
};

// The views' log outlives the editor, whose closing destroys them.
struct ViewLog {
    std::vector<std::string> log;
};

class FrameTest : public ::testing::Test, public ViewLog, public EditorFixture {
protected:
    ProbeView* add(char id, Rect r) {
        auto* v = new ProbeView(id, r, log);
        frame().addView(v);
        return v;
    }
    std::vector<std::string> takeLog() { return std::exchange(log, {}); }
};

TEST_F(FrameTest, ClicksGoToTheLastEnabledViewUnderThePointerEdgesIncluded) {
    add('a', {10, 10, 20, 20});
    add('b', {15, 15, 30, 30});
    add('d', {40, 40, 50, 50});
    add('c', {40, 40, 50, 50})->setMouseEnabled(false);
    const struct {
        Point at;
        const char* hit;
    } cases[] = {{{10, 10}, "ma"}, {{14, 20}, "ma"}, {{20, 20}, "mb"}, {{30, 30}, "mb"},
                 {{31, 30}, ""},   {{45, 45}, "md"}, {{50, 50}, "md"}};
    for (const auto& c : cases) {
        takeLog();
        editor->port().click(c.at, gui::kLeftButton);
        EXPECT_EQ(takeLog(), c.hit[0] ? std::vector<std::string>{c.hit} : std::vector<std::string>{})
            << c.at.x << "," << c.at.y;
    }
    // The view under the pointer for the wheel ignores the enabled flag.
    system.setPointer(0, {45, 45});
    EXPECT_EQ(frame().getViewAt(), frame().viewAt(3));
}

TEST_F(FrameTest, AModalViewTakesTheClicksInsideItAndAloneRedraws) {
    ProbeView* a = add('a', {10, 10, 20, 20});
    ProbeView* b = add('b', {30, 30, 60, 60});
    EXPECT_TRUE(frame().setModalView(b));
    EXPECT_FALSE(frame().setModalView(a));
    editor->port().click({12, 12}, gui::kLeftButton);
    editor->port().click({35, 35}, gui::kLeftButton);
    EXPECT_EQ(takeLog(), std::vector<std::string>{"mb"});
    editor->idle();  // a and b are both dirty
    EXPECT_EQ(takeLog(), std::vector<std::string>{"db"});
    // A full paint draws everything, the modal view last, on top.
    editor->port().paint();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"da", "db", "db"}));
    EXPECT_TRUE(frame().setModalView(nullptr));
}

TEST_F(FrameTest, RemovingAndReleasingViews) {
    ProbeView* a = add('a', {0, 0, 5, 5});
    add('b', {0, 0, 5, 5});
    auto* stranger = new ProbeView('s', {}, log);
    EXPECT_TRUE(frame().removeView(stranger));
    EXPECT_EQ(frame().viewCount(), 2);
    EXPECT_TRUE(frame().removeView(a));
    EXPECT_FALSE(frame().isChild(a));
    EXPECT_EQ(takeLog(), std::vector<std::string>{"xa"});
    stranger->release();
    editor->close();  // the frame releases what it holds
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"xs", "xb"}));
}

TEST_F(FrameTest, AFailedGrowthOfTheViewListKeepsWhatItHolds) {
    std::vector<ProbeView*> views;
    for (int i = 0; i < 10; ++i) views.push_back(add('v', {}));
    auto* extra = new ProbeView('e', {}, log);
    {
        AllocationFailure noMemory;
        EXPECT_FALSE(frame().addView(extra));
    }
    EXPECT_EQ(frame().viewCount(), 10);
    EXPECT_EQ(frame().viewAt(9), views[9]);
    EXPECT_TRUE(frame().addView(extra));
    EXPECT_EQ(frame().viewCount(), 11);
}

TEST_F(FrameTest, RedrawCycle) {
    editor->close();
    editor->open(&TestEditor::parent);
    add('a', {0, 0, 5, 5});
    add('b', {10, 0, 15, 5});
    frame().idleRedraw();  // not painted yet: nothing
    EXPECT_TRUE(takeLog().empty());
    editor->port().paint();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"da", "db"}));
    // The paint left the pending redraws pending: the next idle draws them,
    // the one after that nothing at all.
    editor->idle();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"da", "db"}));
    editor->port().clearDrawnAreas();
    editor->idle();
    EXPECT_TRUE(takeLog().empty());
    ASSERT_EQ(editor->port().drawnAreas().size(), 1u);
    EXPECT_EQ(editor->port().drawnAreas()[0].width(), 0);
    // After the window is gone nothing draws.
    frame().windowDestroyed();
    frame().viewAt(0)->setDirty(true);
    editor->idle();
    EXPECT_TRUE(takeLog().empty());
}

TEST_F(FrameTest, UpdateRequestsRunOnceAndAnIdleInsideAHandlerDoesNothing) {
    editor->postUpdate();
    editor->idle();
    editor->idle();
    EXPECT_EQ(editor->updates, 1);
    // An idle reached from inside a handler (the host idling the editor
    // from a callback) does nothing; the update it would run stays pending.
    editor->reenterIdle = true;
    editor->postUpdate();
    editor->idle();
    EXPECT_EQ(editor->updates, 2);
    editor->reenterIdle = false;
    editor->idle();
    EXPECT_EQ(editor->updates, 3);
}

// What the drawing context adds to the surface: the font table's fallbacks,
// the left margin of left-aligned text, the fill rule and the offset (which
// the pointer position ignores).
TEST(DrawContextTest, FontsMarginsFillsAndOffsets) {
    gui::DrawContext fonts(nullptr, nullptr, nullptr);
    const struct {
        int id, size, wantId, wantSize;
    } table[] = {{9, 0, 0, 12}, {-1, 0, 0, 12}, {6, 0, 6, 9}, {3, 20, 3, 20}, {7, 0, 7, 13}};
    for (const auto& f : table) {
        fonts.setFont(f.id, f.size);
        EXPECT_EQ(fonts.fontId(), f.wantId) << f.id;
        EXPECT_EQ(fonts.fontSize(), f.wantSize) << f.id;
    }

    gui::raster::MemoryWindowSystem system;
    RecordingEffect effect;
    auto* editor = new TestEditor(&effect, system);
    editor->openAndPaint();
    gui::raster::PixelBuffer& pixels = editor->port().pixels();
    gui::Surface* surface = editor->port().beginDraw();
    gui::DrawContext context(editor->getFrame(), surface, editor->getFrame()->window());
    // Opaque text in a white cell: where the cell starts tells the margin.
    const auto cellLeft = [&](int alignment) {
        for (auto& p : pixels.pixels) p = 0;
        context.setFillColor(gui::kWhite);
        context.drawString("1", {10, 10, 10 + gui::raster::textWidth(3, "1"), 30}, true, alignment);
        for (int x = 0; x < 40; ++x) {
            if (pixels.at(x, 20) != 0) return x;
        }
        return -1;
    };
    context.setFont(3);
    EXPECT_EQ(cellLeft(0), 11);
    EXPECT_EQ(cellLeft(1), 10);
    EXPECT_EQ(cellLeft(2), 10);
    // fillRect leaves the outline's top and left line; the offset moves it.
    for (auto& p : pixels.pixels) p = 0;
    context.setOffset({100, 50});
    context.setFillColor(gui::kWhite);
    context.fillRect({0, 0, 4, 3});
    EXPECT_EQ(pixels.at(100, 51), 0u);
    EXPECT_EQ(pixels.at(101, 50), 0u);
    EXPECT_EQ(pixels.at(101, 51), 0xFFFFFFu);
    EXPECT_EQ(pixels.at(103, 52), 0xFFFFFFu);
    EXPECT_EQ(pixels.at(104, 52), 0u);
    system.setPointer(0, {7, 8});
    Point where;
    context.getMousePosition(where);
    EXPECT_EQ(where.x, 7);
    EXPECT_EQ(where.y, 8);
    editor->port().endDraw(surface);
    editor->close();
}

TEST(GuiEditorBaseTest, AnswersTheHostWithAndWithoutAWindow) {
    gui::raster::MemoryWindowSystem system;
    RecordingEffect effect;
    auto* editor = new TestEditor(&effect, system);
    EXPECT_EQ(effect.getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
    ERect* rect = nullptr;
    EXPECT_EQ(effect.dispatcher(effEditGetRect, 0, 0, &rect, 0.0f), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, TestEditor::kWidth);
    EXPECT_EQ(rect->bottom, TestEditor::kHeight);
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);  // before any open
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_FALSE(editor->onWheel(1.0f));
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(knobMode, 2);
    knobMode = 0;
    system.refuseWindows = true;  // a parent the system cannot use
    EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, &TestEditor::parent, 0.0f), 0);
    EXPECT_EQ(system.openWindows(), 0);
    system.refuseWindows = false;
    EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, &TestEditor::parent, 0.0f), 1);
    EXPECT_EQ(system.openWindows(), 1);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(system.openWindows(), 0);
}

}  // namespace
}  // namespace klv::test
