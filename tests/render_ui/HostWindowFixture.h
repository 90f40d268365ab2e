// A toolkit screen in a real 400 by 300 window, for the tests that drive it through the event
// loop. Each test class derives from it and opens its screen in SetUp.
#pragma once

#include "platform/dispatch/RunLoop.h"
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/HostWindow.h"
#include "platform/ui/Host.h"
#include "tests/render/WindowManager.h"
#include "tests/render/XServer.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class HostWindowFixture : public ::testing::Test {
protected:
    // Opens `screen` in a window titled `title` and lets the window system settle. With
    // `followFocus` the window asks the host which field has the keyboard.
    void open(plat::ui::AnyView screen, const std::string& title, bool followFocus) {
        plat::RunLoop::main().drain();
        plat::ui::HostOptions options;
        options.contentSize = {400, 300};
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        host = std::make_shared<plat::ui::Host>(std::move(screen), options);
        plat::render::WindowOptions w;
        w.title = title;
        w.contentSize = {400, 300};
        if (followFocus) {
            auto* h = host.get();
            window = std::make_unique<plat::render::HostWindow>(host, w, [h] { return h->focused(); });
        } else {
            window = std::make_unique<plat::render::HostWindow>(host, w);
        }
        plat::render::WindowSystem::shared().runUntil([] { return false; }, std::chrono::milliseconds(100));
        ASSERT_TRUE(drawn()) << "the window was not shown and drawn";
    }
    // Runs the window's loop until the window is on the screen and has drawn every frame it owes.
    // Input sent before that can arrive in the middle of the first frame, which on a crowded
    // machine is slow: two presses of a double click taken either side of it come too far apart.
    bool drawn() {
        return plat::render::WindowSystem::shared().runUntil(
            [this] { return gl().isVisible() && !gl().needsDisplay(); }, testsupport::kPatience);
    }
    void TearDown() override {
        window.reset();
        host.reset();
        plat::RunLoop::main().drain();
    }
    plat::render::GlWindow& gl() { return static_cast<plat::render::GlWindow&>(window->surface()); }
    // Real input through the display's test extension, as from the user's own pointer and keys.
    rendertest::XTestInput& input() {
        if (!input_) input_ = std::make_unique<rendertest::XTestInput>();
        return *input_;
    }
    // A real click at `at` in the window's content.
    void pointerClick(plat::Point at) {
        const plat::Point origin = gl().position();
        input().click(static_cast<int>(origin.x + at.x), static_cast<int>(origin.y + at.y));
    }
    static plat::Point centre(const plat::Rect& f) { return {f.x + f.width / 2, f.y + f.height / 2}; }

    std::shared_ptr<plat::ui::Host> host;
    std::unique_ptr<plat::render::HostWindow> window;

private:
    std::unique_ptr<rendertest::XTestInput> input_;
};
