// Real windows under a display: a display list drawn, read back and checked pixel by pixel.
#include "platform/render/Bitmap.h"
#include "platform/render/FontBook.h"
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "tests/render/XServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace plat::render;
using plat::Rect;
using plat::RGBA;
using plat::Size;

struct Shot {
    Bitmap bitmap;
    uint32_t at(int x, int y) const { return bitmap.pixel(x, y) | 0xFF; }
    // Red, green and blue of a pixel, each 0...255.
    int r(int x, int y) const { return static_cast<int>(bitmap.pixel(x, y) >> 24); }
    int g(int x, int y) const { return static_cast<int>((bitmap.pixel(x, y) >> 16) & 0xFF); }
    int b(int x, int y) const { return static_cast<int>((bitmap.pixel(x, y) >> 8) & 0xFF); }
    // Whether any pixel of the area is darker than `level` in every channel.
    bool anyDark(Rect area, int level = 128) const {
        for (int y = static_cast<int>(area.y); y < static_cast<int>(area.maxY()); ++y)
            for (int x = static_cast<int>(area.x); x < static_cast<int>(area.maxX()); ++x)
                if (r(x, y) < level && g(x, y) < level && b(x, y) < level) return true;
        return false;
    }
};

class WindowDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        WindowOptions options;
        options.title = "drawing";
        options.contentSize = {200, 120};
        window = WindowSystem::shared().createWindow(options);
    }

    Shot draw(const DisplayList& list) {
        window->present(list);
        Shot shot;
        shot.bitmap.rgba = window->readPixels(&shot.bitmap.width, &shot.bitmap.height);
        return shot;
    }

    std::unique_ptr<Surface> window;
};

TEST_F(WindowDrawing, FillsBackgroundAndRectanglesWhereTheListSays) {
    DisplayList list;
    list.background = RGBA::rgb(0xFFFFFF);
    list.fillRect({10, 10, 50, 30}, RGBA::rgb(0xFF0000));
    list.fillRect({100, 50, 40, 40}, RGBA::rgb(0x0000FF), 20); // a circle
    list.add(cmd::Line{{0, 110}, {200, 110}, RGBA::rgb(0x00FF00), 3});
    Shot shot = draw(list);
    ASSERT_EQ(shot.bitmap.width, 200);
    ASSERT_EQ(shot.bitmap.height, 120);
    EXPECT_EQ(shot.at(30, 25), 0xFF0000FFu);
    EXPECT_EQ(shot.at(9, 9), 0xFFFFFFFFu);   // just outside the rectangle
    EXPECT_EQ(shot.at(60, 40), 0xFFFFFFFFu); // its far corner is exclusive
    EXPECT_EQ(shot.at(120, 70), 0x0000FFFFu);
    EXPECT_EQ(shot.at(101, 51), 0xFFFFFFFFu); // rounded away at the corner
    EXPECT_EQ(shot.at(100, 110), 0x00FF00FFu);
}

TEST_F(WindowDrawing, ClipsCommandsToTheClipStack) {
    DisplayList list;
    list.pushClip({0, 0, 100, 60});
    list.pushClip({50, 0, 150, 120}); // nested: only 50...100 x 0...60 remains
    list.fillRect({0, 0, 200, 120}, RGBA::rgb(0x00FF00));
    list.popClip();
    list.popClip();
    list.fillRect({150, 100, 10, 10}, RGBA::rgb(0xFF0000));
    list.popClip(); // unmatched: ignored
    Shot shot = draw(list);
    EXPECT_EQ(shot.at(75, 30), 0x00FF00FFu);
    EXPECT_EQ(shot.at(25, 30), 0xFFFFFFFFu);
    EXPECT_EQ(shot.at(75, 90), 0xFFFFFFFFu);
    EXPECT_EQ(shot.at(155, 105), 0xFF0000FFu); // drawn after the clips were popped

    // A capsule clipped to its own frame at a fractional place keeps both round ends and the
    // pixels of its top and bottom rows.
    DisplayList capsule;
    const Rect frame{20.9, 40.6, 60.9, 30.8};
    capsule.pushClip(frame);
    capsule.fillRect(frame, RGBA::rgb(0x0000FF), 15.4);
    capsule.popClip();
    shot = draw(capsule);
    EXPECT_EQ(shot.at(21, 56), 0x0000FFFFu);
    EXPECT_EQ(shot.at(80, 56), 0x0000FFFFu); // the last pixel whose centre the capsule covers
    EXPECT_EQ(shot.at(51, 41), 0x0000FFFFu);
    EXPECT_EQ(shot.at(51, 70), 0x0000FFFFu);
}

TEST_F(WindowDrawing, StrokesStayInsideTheirRectangle) {
    DisplayList list;
    list.strokeRect({20, 20, 60, 40}, RGBA::rgb(0x000000), 0, 4);
    Shot shot = draw(list);
    EXPECT_EQ(shot.at(21, 40), 0x000000FFu);
    EXPECT_EQ(shot.at(78, 40), 0x000000FFu);
    EXPECT_EQ(shot.at(19, 40), 0xFFFFFFFFu);
    EXPECT_EQ(shot.at(50, 40), 0xFFFFFFFFu); // hollow
}

TEST_F(WindowDrawing, DrawsTextSymbolsAndTranslucency) {
    DisplayList list;
    list.text({10, 10}, "Velmora", Font{20, true}, RGBA::rgb(0x000000));
    list.symbol({120, 10, 40, 40}, "power", RGBA::rgb(0x000000));
    list.symbol({120, 60, 40, 40}, "no.such.symbol", RGBA::rgb(0x000000));
    list.fillRect({10, 80, 40, 30}, RGBA::rgb(0x000000, 0.5f));
    Shot shot = draw(list);
    EXPECT_TRUE(shot.anyDark({10, 10, 90, 22}));
    EXPECT_FALSE(shot.anyDark({10, 40, 90, 30})); // nothing below the line of text
    EXPECT_TRUE(shot.anyDark({120, 10, 40, 40}));
    EXPECT_FALSE(shot.anyDark({118, 58, 44, 44})); // an unknown name draws nothing
    EXPECT_NEAR(shot.r(30, 95), 128, 2);
}

TEST_F(WindowDrawing, UnderlinesTextAcrossItsWidth) {
    DisplayList list;
    cmd::Text t;
    t.origin = {10, 10};
    t.text = "Forget Password";
    t.font = Font{13, false};
    t.color = RGBA::rgb(0xFFFFFF); // invisible on white: only the rule shows
    t.underline = true;
    t.underlineColor = RGBA::rgb(0x000000);
    list.add(t);
    Shot shot = draw(list);
    const Size size = FontBook::shared().measure(t.text, t.font);
    EXPECT_TRUE(shot.anyDark({10, 10, 6, 20}));
    EXPECT_TRUE(shot.anyDark({10 + size.width - 6, 10, 6, 20}));
    EXPECT_FALSE(shot.anyDark({10 + size.width + 2, 10, 20, 20}));
}

TEST_F(WindowDrawing, DrawsBundleImagesStretchedIntoTheirRectangle) {
    DisplayList list;
    list.image({0, 0, 100, 100}, "connectedButton");
    list.image({100, 0, 100, 100}, "noSuchImage");
    Shot shot = draw(list);
    // The connected button is green at its centre.
    EXPECT_GT(shot.g(50, 50), 120);
    EXPECT_LT(shot.r(50, 50), 120);
    EXPECT_EQ(shot.at(150, 50), 0xFFFFFFFFu);
}

TEST_F(WindowDrawing, ScreenshotFileHoldsTheWindowContent) {
    DisplayList list;
    list.background = RGBA::rgb(0x336699);
    list.fillRect({0, 0, 20, 20}, RGBA::rgb(0xFFFF00));
    window->present(list);
    testsupport::TempHome home;
    const auto path = home.path() / "shots" / "window.png";
    ASSERT_TRUE(window->writeScreenshot(path));
    auto png = Bitmap::readPng(path);
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->width, 200);
    EXPECT_EQ(png->height, 120);
    EXPECT_EQ(png->pixel(5, 5), 0xFFFF00FFu);
    EXPECT_EQ(png->pixel(100, 100), 0x336699FFu);
    EXPECT_FALSE(window->writeScreenshot("/proc/no/such/dir/x.png"));
}

TEST_F(WindowDrawing, ResizesTheContentAndTheFrame) {
    window->setContentSize({300, 600});
    EXPECT_EQ(window->contentSize(), (Size{300, 600}));
    window->setFrameSize({800, 500});
    const Size frame = window->frameSize();
    EXPECT_EQ(frame, (Size{800, 500}));
    // Without a window manager there is no frame: content and frame are the same size.
    EXPECT_LE(window->contentSize().width, 800);
    int w = 0, h = 0;
    window->present(DisplayList{});
    window->readPixels(&w, &h);
    EXPECT_EQ(w, static_cast<int>(window->contentSize().width));
    EXPECT_EQ(h, static_cast<int>(window->contentSize().height));
}

} // namespace
