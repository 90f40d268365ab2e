// Windows on a real desktop (openbox, with a panel along the bottom edge that the window manager
// keeps clear) stay whole in the work area when the application sizes, moves or shows them: a
// window that grows past the work area's bottom or right edge moves back just as far as it must,
// also when the user had left part of it off the work area; a window shown or a sheet opened where
// it would not fit moves in; a window that fits stays where it is. Checked as a pager sees the
// windows, the window manager's frame included.
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/Surface.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/scene/DesktopWindow.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"
#include "tests/render/DesktopProbe.h"
#include "tests/render/WindowManager.h"
#include "tests/render/XServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using plat::Application;
using plat::render::Surface;
using plat::render::WindowOptions;
using plat::render::WindowSystem;
using rendertest::XRect;
namespace ui = plat::ui;

constexpr int kPanelHeight = 90;

std::string describe(const XRect& r) {
    std::ostringstream out;
    out << r.width << "x" << r.height << " at (" << r.x << ", " << r.y << "), bottom " << r.y + r.height
        << ", right " << r.x + r.width;
    return out.str();
}

// A window with a sheet much wider than itself.
struct WideSheet : ui::Screen {
    ui::State<bool> showSheet{true};
    ui::AnyView body() const override {
        return ui::Text(ui::TextValue::verbatim("Main")).frame(300, 200).sheet(showSheet.binding(), [] {
            return ui::Text(ui::TextValue::verbatim("Sheet")).frame(700, 150);
        });
    }
};

class WorkArea : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_WINDOW_MANAGER();
        ASSERT_TRUE(WindowSystem::available());
        Application::shared().resetForTesting();
        probe = std::make_unique<rendertest::DesktopProbe>(std::getenv("DISPLAY"));
        ASSERT_TRUE(probe->connected());
        panel = std::make_unique<rendertest::BottomPanel>(kPanelHeight);
        ASSERT_TRUE(panel->waitUntilReserved()) << "the window manager keeps no room for the panel";
        area = probe->workArea();
        // The work area is not the screen: what the windows keep clear of is the window manager's.
        ASSERT_EQ(area.y + area.height, probe->screen().height - kPanelHeight);
    }
    void TearDown() override {
        surface.reset();
        if (window) window->close();
        desktop.reset();
        panel.reset();
        Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
    }

    // A window of `size` with the title given, shown at once unless asked not to.
    std::unique_ptr<Surface> make(const std::string& title, plat::Size size, bool visible = true) {
        WindowOptions options;
        options.title = title;
        options.contentSize = size;
        options.visible = visible;
        return WindowSystem::shared().createWindow(options);
    }
    // Turns the event loop (with the desktop window's update passes, when there is one) until `done`.
    bool until(const std::function<bool()>& done) {
        return WindowSystem::shared().runUntil(
            [&] {
                if (desktop) desktop->update();
                return done();
            },
            30s);
    }
    // The desktop window of this process with that title, once the window manager has framed it.
    unsigned long find(const std::string& title) {
        unsigned long found = 0;
        until([&] {
            for (unsigned long w : probe->windowsOf(::getpid()))
                if (probe->title(w) == title && probe->frameExtents(w).size() == 4) found = w;
            return found != 0;
        });
        return found;
    }
    // Whether the window's content is `width` by `height`; its frame as the pager sees it.
    bool sized(unsigned long w, int width, int height, XRect* frame) {
        const XRect content = probe->contentRect(w);
        *frame = probe->frameRect(w);
        return content.width == width && content.height == height;
    }
    bool whole(const XRect& frame) const {
        return frame.x >= area.x && frame.y >= area.y && frame.x + frame.width <= area.x + area.width &&
               frame.y + frame.height <= area.y + area.height;
    }
    // The user moves the window (through a pager) by (dx, dy); its frame once there.
    XRect userMoves(unsigned long w, int dx, int dy) {
        const XRect from = probe->contentRect(w);
        probe->move(w, from.x + dx, from.y + dy);
        until([&] {
            const XRect content = probe->contentRect(w);
            return content.x == from.x + dx && content.y == from.y + dy;
        });
        return probe->frameRect(w);
    }
    int bottom() const { return area.y + area.height; }
    int right() const { return area.x + area.width; }

    std::unique_ptr<rendertest::DesktopProbe> probe;
    std::unique_ptr<rendertest::BottomPanel> panel;
    XRect area;
    std::unique_ptr<Surface> surface;
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<ui::Host> host;
    std::unique_ptr<plat::render::DesktopWindow> desktop;
};

TEST_F(WorkArea, AWindowThatGrowsPastTheBottomOrTheRightEdgeMovesBackJustAsFarAsItMust) {
    surface = make("grows", {300, 200});
    const unsigned long w = find("grows");
    ASSERT_NE(w, 0u);
    surface->setPosition({200, 150});
    ASSERT_TRUE(until([&] { return probe->contentRect(w).y == 150; })) << describe(probe->contentRect(w));
    const XRect start = probe->frameRect(w);
    XRect frame;

    // There is room below: it stays where it is, as the application itself reads it at once.
    surface->setContentSize({300, 240});
    EXPECT_EQ(surface->position().x, 200);
    EXPECT_EQ(surface->position().y, 150);
    ASSERT_TRUE(until([&] { return sized(w, 300, 240, &frame); })) << describe(frame);
    EXPECT_EQ(frame.x, start.x) << describe(frame);
    EXPECT_EQ(frame.y, start.y) << describe(frame);

    // The user drags it down until its bottom is behind the panel; grown, it moves up just far
    // enough to end on the work area's bottom edge, and not sideways.
    const XRect low = userMoves(w, 0, bottom() - (frame.y + frame.height) + 30);
    ASSERT_EQ(low.y + low.height, bottom() + 30) << describe(low);
    surface->setContentSize({300, 300});
    EXPECT_TRUE(until([&] { return sized(w, 300, 300, &frame) && whole(frame); }))
        << "the window grew off the work area: " << describe(frame);
    EXPECT_EQ(frame.y + frame.height, bottom()) << describe(frame);
    EXPECT_EQ(frame.x, low.x) << describe(frame);

    // Past the right edge, and widened (the full layout after the compact one): it moves left as
    // far as it takes, its top staying.
    const XRect wide = userMoves(w, right() - (frame.x + frame.width) + 30, -100);
    ASSERT_EQ(wide.x + wide.width, right() + 30) << describe(wide);
    surface->setContentSize({500, 300});
    EXPECT_TRUE(until([&] { return sized(w, 500, 300, &frame) && whole(frame); }))
        << "the window grew off the work area: " << describe(frame);
    EXPECT_EQ(frame.x + frame.width, right()) << describe(frame);
    EXPECT_EQ(frame.y, wide.y) << describe(frame);

    // A larger minimum, which the window manager grows it to, keeps it whole too.
    const XRect again = userMoves(w, 0, bottom() - (frame.y + frame.height) + 20);
    ASSERT_EQ(again.y + again.height, bottom() + 20) << describe(again);
    surface->setMinimumContentSize({500, 360});
    EXPECT_TRUE(until([&] { return sized(w, 500, 360, &frame) && whole(frame); }))
        << "the window grew to its minimum off the work area: " << describe(frame);
    EXPECT_EQ(frame.y + frame.height, bottom()) << describe(frame);
}

TEST_F(WorkArea, AWindowShownWhereItDoesNotFitMovesIntoTheWorkArea) {
    // Placed before it is shown, with less room below than it needs.
    surface = make("opens", {400, 300}, false);
    surface->setPosition({150, static_cast<double>(bottom() - 120)});
    surface->setVisible(true);
    const unsigned long w = find("opens");
    ASSERT_NE(w, 0u);
    XRect frame;
    EXPECT_TRUE(until([&] { return sized(w, 400, 300, &frame) && whole(frame); }))
        << "the window opened off the work area: " << describe(frame) << "; the work area is "
        << describe(area);
    EXPECT_EQ(frame.y + frame.height, bottom()) << describe(frame);
}

TEST_F(WorkArea, TheApplicationsWindowAndItsSheetStayWholeNearTheEdges) {
    window = plat::Window::make(plat::ScreenRect{{0, 0}, {300, 200}});
    window->setTitle("main");
    ui::HostOptions options;
    options.contentSize = {300, 200};
    options.metrics = std::make_shared<plat::render::FontMetrics>();
    host = std::make_shared<ui::Host>(ui::make<WideSheet>(), options);
    desktop = std::make_unique<plat::render::DesktopWindow>(window, host, "AppIcon");
    window->makeKeyAndOrderFront();
    // The window and its sheet (which has the window's title), told apart by their widths.
    unsigned long w = 0, s = 0;
    ASSERT_TRUE(until([&] {
        for (unsigned long c : probe->windowsOf(::getpid())) {
            if (probe->frameExtents(c).size() != 4) continue;
            (probe->contentRect(c).width == 300 ? w : s) = c;
        }
        return w && s;
    }));
    // The user puts the window in the bottom-right corner of the work area.
    XRect frame = probe->frameRect(w);
    frame = userMoves(w, right() - (frame.x + frame.width), bottom() - (frame.y + frame.height));
    ASSERT_TRUE(whole(frame)) << describe(frame);

    // The sheet, centred over the window and wider than it, comes back in from the right edge.
    desktop->setNeedsDisplay();
    XRect sheet;
    EXPECT_TRUE(until([&] {
        sheet = probe->frameRect(s);
        // Followed the window (wider than it, it reaches at least as far right), and whole.
        return sheet.x + sheet.width >= frame.x + frame.width && whole(sheet);
    })) << "the sheet stands off the work area: "
        << describe(sheet) << "; the work area is " << describe(area);
    EXPECT_EQ(sheet.x + sheet.width, right()) << describe(sheet);

    // The application grows its window (as signing in does): it moves up to stay whole.
    desktop->contentResized({300, 400});
    EXPECT_TRUE(until([&] { return sized(w, 300, 400, &frame) && whole(frame); }))
        << "the window grew off the work area: " << describe(frame);
    EXPECT_EQ(frame.y + frame.height, bottom()) << describe(frame);
}

} // namespace
