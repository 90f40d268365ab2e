// A window ordered front on a real desktop (openbox, real keys through XTEST) while a sheet covers
// it, as a second launch or a click on the application does: the sheet, which takes the keys, comes
// forward with the keyboard, so Escape reaches it at once.
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/scene/DesktopWindow.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"
#include "tests/render/WindowManager.h"
#include "tests/render/XServer.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

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
        Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
    }
};

TEST_F(OrderFront, AWindowOrderedFrontUnderASheetGivesTheKeyboardToTheSheet) {
    auto window = plat::Window::make(plat::ScreenRect{{0, 0}, {320, 240}});
    ui::HostOptions options;
    options.contentSize = {320, 240};
    options.metrics = std::make_shared<plat::render::FontMetrics>();
    auto host = std::make_shared<ui::Host>(ui::make<Covered>(), options);
    plat::render::DesktopWindow desktop(window, host, "AppIcon");
    desktop.hostWindow().surface().setPosition({60, 60});
    window->makeKeyAndOrderFront();
    // The application's update passes, as its event loop runs them.
    auto until = [&](const std::function<bool()>& done) {
        return WindowSystem::shared().runUntil(
            [&] {
                desktop.update();
                return done();
            },
            10s);
    };
    auto sheet = [&] { return desktop.hostWindow().sheet(0); };
    ASSERT_TRUE(until([&] { return sheet() && sheet()->isVisible() && Application::shared().isActive(); }));

    // Another program takes the keyboard; then the window is ordered front again.
    rendertest::OtherClientWindow other(700, 500, 200, 150);
    ASSERT_TRUE(other.waitUntilViewable());
    int otherX = 0, otherY = 0;
    ASSERT_TRUE(other.centre(&otherX, &otherY));
    rendertest::XTestInput input;
    ASSERT_TRUE(input.available());
    input.click(otherX, otherY);
    ASSERT_TRUE(until([] { return !Application::shared().isActive(); }));
    Application::shared().activateIgnoringOtherApps();
    ASSERT_TRUE(until([] { return Application::shared().isActive(); }));

    // Escape is the sheet's: it closes it.
    input.key(XK_Escape);
    EXPECT_TRUE(until([&] { return host->sheets().empty(); })) << "Escape did not reach the sheet";
    window->close();
}

} // namespace
