// A window under a sheet on a real desktop (openbox, real keys through XTEST) ordered front, as a
// second launch does, or given the keyboard by the window manager's title bar: the sheet, which
// takes the keys, comes forward with the keyboard, so Escape reaches it at once.
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/scene/DesktopWindow.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"
#include "tests/render/DesktopProbe.h"
#include "tests/render/WindowManager.h"
#include "tests/render/XServer.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using plat::Application;
using plat::render::WindowSystem;
namespace ui = plat::ui;

struct Covered : ui::Screen {
    ui::State<bool> showSheet{true};
    ui::AnyView body() const override {
        return ui::Text(ui::TextValue::verbatim("Main")).frame(320, 240).sheet(showSheet.binding(), [] {
            return ui::Text(ui::TextValue::verbatim("Sheet")).padding(30);
        });
    }
};

class OrderFront : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_WINDOW_MANAGER();
        Application::shared().resetForTesting();
    }
    void TearDown() override {
        if (window) window->close();
        desktop.reset();
        Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
    }
    // Shows the window at `at` with its sheet open, the sheet's desktop window having come up.
    void open(plat::Point at) {
        window = plat::Window::make(plat::ScreenRect{{0, 0}, {320, 240}});
        ui::HostOptions options;
        options.contentSize = {320, 240};
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        host = std::make_shared<ui::Host>(ui::make<Covered>(), options);
        desktop = std::make_unique<plat::render::DesktopWindow>(window, host, "AppIcon");
        desktop->hostWindow().surface().setPosition(at);
        window->makeKeyAndOrderFront();
        ASSERT_TRUE(until([&] {
            auto* sheet = desktop->hostWindow().sheet(0);
            return sheet && sheet->isVisible() && Application::shared().isActive();
        }));
        input = std::make_unique<rendertest::XTestInput>(); // on the display SetUp made sure of
        ASSERT_TRUE(input->available());
    }
    // Turns the event loop, with the application's update passes, until `done`.
    bool until(const std::function<bool()>& done) {
        return WindowSystem::shared().runUntil(
            [&] {
                desktop->update();
                return done();
            },
            10s);
    }
    void escapeClosesTheSheet() {
        input->key(XK_Escape);
        EXPECT_TRUE(until([&] { return host->sheets().empty(); })) << "Escape did not reach the sheet";
    }

    std::shared_ptr<plat::Window> window;
    std::shared_ptr<ui::Host> host;
    std::unique_ptr<plat::render::DesktopWindow> desktop;
    std::unique_ptr<rendertest::XTestInput> input;
};

TEST_F(OrderFront, AWindowOrderedFrontUnderASheetGivesTheKeyboardToTheSheet) {
    ASSERT_NO_FATAL_FAILURE(open({60, 60}));
    // Another program takes the keyboard; then the application is activated as a second launch
    // activates it.
    rendertest::OtherClientWindow other(700, 500, 200, 150);
    ASSERT_TRUE(other.waitUntilViewable());
    int otherX = 0, otherY = 0;
    ASSERT_TRUE(other.centre(&otherX, &otherY));
    input->click(otherX, otherY);
    ASSERT_TRUE(until([] { return !Application::shared().isActive(); }));
    Application::shared().activateIgnoringOtherApps();
    ASSERT_TRUE(until([] { return Application::shared().isActive(); }));
    escapeClosesTheSheet();
}

TEST_F(OrderFront, AClickOnTheTitleBarOfAWindowUnderASheetGivesTheKeyboardToTheSheet) {
    ASSERT_NO_FATAL_FAILURE(open({500, 400}));
    // The sheet's desktop window, as a pager sees it: the smaller of this process's two.
    rendertest::DesktopProbe probe(std::getenv("DISPLAY"));
    unsigned long sheetWindow = 0;
    ASSERT_TRUE(until([&] {
        for (unsigned long w : probe.windowsOf(::getpid()))
            if (probe.contentRect(w).width < 320) sheetWindow = w;
        return sheetWindow != 0;
    }));
    // The title bar is the window manager's: the window under the sheet gets the keyboard from it,
    // and hands it on to the sheet.
    const plat::Point at = desktop->hostWindow().surface().position();
    input->click(static_cast<int>(at.x) + 300, static_cast<int>(at.y) - 8);
    ASSERT_TRUE(until([&] { return probe.activeWindow() == sheetWindow; })) << "the sheet has no keyboard";
    escapeClosesTheSheet();
}

} // namespace
