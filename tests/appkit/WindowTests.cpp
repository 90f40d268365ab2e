// Windows: frame and content size with the title strip, standard buttons, key and main window.
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using plat::Application;
using plat::ScreenRect;
using plat::Size;
using plat::Window;
using plat::WindowButtonType;

class RecordingContent : public plat::WindowContent {
public:
    void windowDidResize(Size size) override { sizes.push_back(size); }
    void update() override { ++updates; }
    std::string describe() const override { return "content"; }
    std::vector<Size> sizes;
    int updates = 0;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { Application::shared().resetForTesting(); }
    void TearDown() override { Application::shared().resetForTesting(); }
};

TEST_F(WindowTest, FrameCountsTheTitleStripAndContentSizeKeepsTheTopEdge) {
    auto window = Window::make(ScreenRect{{100, 200}, {400, 300}});
    EXPECT_EQ(window->frame(), (ScreenRect{{100, 200}, {400, 300 + Window::kTitleStripHeight}}));
    EXPECT_EQ(window->contentSize(), (Size{400, 300}));

    const double top = window->frame().maxY();
    ASSERT_TRUE(window->setContentSize(Size{800, 500}));
    EXPECT_EQ(window->contentSize(), (Size{800, 500}));
    EXPECT_EQ(window->frame().size, (Size{800, 500 + Window::kTitleStripHeight}));
    EXPECT_DOUBLE_EQ(window->frame().maxY(), top);
    EXPECT_DOUBLE_EQ(window->frame().origin.x, 100);

    // The whole-frame setter is measured with the strip included.
    ASSERT_TRUE(window->setFrame(ScreenRect{{10, 20}, {300, 600}}, true));
    EXPECT_EQ(window->contentSize(), (Size{300, 600 - Window::kTitleStripHeight}));
    EXPECT_EQ(window->displayCount(), 1u);

    auto plain = Window::make(ScreenRect{{0, 0}, {50, 60}}, plat::WindowStyle{.titled = false});
    EXPECT_EQ(plain->frame().size, (Size{50, 60}));
    EXPECT_EQ(plain->contentSize(), (Size{50, 60}));
}

TEST_F(WindowTest, RefusesNegativeAndNonFiniteSizes) {
    auto window = Window::make(ScreenRect{{0, 0}, {400, 300}});
    const ScreenRect before = window->frame();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(window->setContentSize(Size{-1, 10}));
    EXPECT_FALSE(window->setContentSize(Size{nan, 10}));
    EXPECT_FALSE(window->setFrame(ScreenRect{{0, 0}, {10, inf}}, true));
    EXPECT_FALSE(window->setFrame(ScreenRect{{nan, 0}, {10, 10}}, true));
    EXPECT_EQ(window->frame(), before);
    // A frame smaller than the title strip leaves no content area rather than a negative one.
    ASSERT_TRUE(window->setFrame(ScreenRect{{0, 0}, {10, 5}}, false));
    EXPECT_EQ(window->contentSize(), (Size{10, 0}));
}

TEST_F(WindowTest, ContentHearsEveryResize) {
    auto window = Window::make(ScreenRect{{0, 0}, {400, 300}});
    auto content = std::make_shared<RecordingContent>();
    window->setContent(content);
    window->setContentSize(Size{800, 500});
    window->setContentSize(Size{800, 500});                                              // no change, no call
    window->setFrame(ScreenRect{{5, 5}, {800, 500 + Window::kTitleStripHeight}}, false); // moved only
    ASSERT_EQ(content->sizes.size(), 2u);
    EXPECT_EQ(content->sizes[0], (Size{400, 300}));
    EXPECT_EQ(content->sizes[1], (Size{800, 500}));
}

TEST_F(WindowTest, StandardButtonsFollowTheStyleAndADisabledZoomButtonStopsZooming) {
    auto window = Window::make(ScreenRect{{0, 0}, {400, 300}});
    auto* zoom = window->standardWindowButton(WindowButtonType::zoomButton);
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->type(), WindowButtonType::zoomButton);
    EXPECT_TRUE(zoom->isEnabled());
    EXPECT_NE(window->standardWindowButton(WindowButtonType::closeButton), nullptr);

    const ScreenRect original = window->frame();
    ASSERT_TRUE(window->zoom());
    EXPECT_TRUE(window->isZoomed());
    EXPECT_NE(window->frame(), original);
    ASSERT_TRUE(window->zoom());
    EXPECT_EQ(window->frame(), original);

    zoom->setEnabled(false);
    EXPECT_FALSE(window->zoom());
    EXPECT_EQ(window->frame(), original);

    auto fixed = Window::make(ScreenRect{{0, 0}, {10, 10}}, plat::WindowStyle{.resizable = false});
    EXPECT_EQ(fixed->standardWindowButton(WindowButtonType::zoomButton), nullptr);
    EXPECT_NE(fixed->standardWindowButton(WindowButtonType::miniaturizeButton), nullptr);
    auto bare = Window::make(ScreenRect{{0, 0}, {10, 10}}, plat::WindowStyle{.titled = false});
    EXPECT_EQ(bare->standardWindowButton(WindowButtonType::closeButton), nullptr);
    EXPECT_EQ(bare->standardWindowButton(WindowButtonType::zoomButton), nullptr);
}

TEST_F(WindowTest, WindowListAndMainWindowFollowOrderingAndClosing) {
    auto& app = Application::shared();
    EXPECT_TRUE(app.windows().empty());
    EXPECT_EQ(app.mainWindow(), nullptr);

    auto first = Window::make(ScreenRect{{0, 0}, {10, 10}});
    auto second = Window::make(ScreenRect{{0, 0}, {10, 10}});
    ASSERT_EQ(app.windows().size(), 2u);
    EXPECT_EQ(app.windows()[0], first);
    EXPECT_EQ(app.mainWindow(), nullptr) << "a window is not main before it is shown";

    first->makeKeyAndOrderFront();
    second->makeKeyAndOrderFront();
    EXPECT_TRUE(second->isMainWindow());
    EXPECT_TRUE(second->isKeyWindow());
    EXPECT_FALSE(first->isMainWindow());

    // A window without a title strip can be key but never main.
    auto panel = Window::make(ScreenRect{{0, 0}, {10, 10}}, plat::WindowStyle{.titled = false});
    panel->makeKeyAndOrderFront();
    EXPECT_EQ(app.keyWindow(), panel);
    EXPECT_EQ(app.mainWindow(), second);

    second->close();
    ASSERT_EQ(app.windows().size(), 2u);
    EXPECT_EQ(app.mainWindow(), first);
    EXPECT_EQ(app.keyWindow(), panel);

    first->orderOut();
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_EQ(app.windows().size(), 2u) << "a hidden window stays in the list";
}

} // namespace
