// The merged loop: main-queue work and window input in one loop, woken by posts from any thread.
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "tests/render/XServer.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace plat::render;
using plat::Point;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::kPatience;

class EventLoop : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        plat::RunLoop::main().drain();
    }
};

TEST_F(EventLoop, APostFromAnotherThreadWakesTheWaitingLoop) {
    auto& system = WindowSystem::shared();
    std::atomic<bool> ran{false};
    const uint64_t waitsBefore = system.waitCount();
    std::thread poster([&] {
        std::this_thread::sleep_for(200ms);
        plat::DispatchQueue::main().async([&] { ran = true; });
    });
    const auto start = Clock::now();
    // The first turn finds nothing to do and waits up to the suite's patience; the post must cut
    // that short. A turn that sleeps through the post returns only when the wait runs out.
    while (!ran && Clock::now() - start < 2 * kPatience)
        system.runOnce(kPatience);
    const auto elapsed = Clock::now() - start;
    poster.join();
    EXPECT_TRUE(ran.load());
    EXPECT_GT(system.waitCount(), waitsBefore); // it really slept
    EXPECT_LT(elapsed, kPatience);
    EXPECT_GE(elapsed, 150ms);
}

TEST_F(EventLoop, RunReturnsAfterStopFromAnotherThreadAndRunsBlocksMeanwhile) {
    auto& system = WindowSystem::shared();
    std::atomic<int> count{0};
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            plat::DispatchQueue::main().async([&] { ++count; });
            std::this_thread::sleep_for(20ms);
        }
        plat::DispatchQueue::main().async([&] { WindowSystem::shared().stop(); });
    });
    const auto start = Clock::now();
    system.run();
    worker.join();
    EXPECT_EQ(count.load(), 5);
    EXPECT_LT(Clock::now() - start, kPatience);
}

TEST_F(EventLoop, StopWithoutARunIsNotRemembered) {
    auto& system = WindowSystem::shared();
    system.stop(); // no run() in progress: nothing to stop
    std::atomic<bool> ran{false};
    plat::DispatchQueue::main().async([&] { ran = true; });
    plat::DispatchQueue::main().async([&] { WindowSystem::shared().stop(); });
    system.run();
    EXPECT_TRUE(ran.load()); // run() did not return at once on the stale stop
}

TEST_F(EventLoop, RedrawsOnlyWindowsThatNeedIt) {
    WindowOptions options;
    options.contentSize = {100, 100};
    auto window = WindowSystem::shared().createWindow(options);
    int frames = 0;
    window->setDisplayHandler([&](Surface& s) {
        ++frames;
        s.present(DisplayList{});
    });
    auto& system = WindowSystem::shared();
    ASSERT_TRUE(system.runUntil([&] { return frames >= 1; }, kPatience)); // the first frame
    // Showing a window brings focus and expose events, each worth a frame; let them pass.
    for (int quiet = 0, last = frames, turns = 0; quiet < 5 && turns < 100; ++turns) {
        system.runOnce(20ms);
        quiet = frames == last ? quiet + 1 : 0;
        last = frames;
    }
    const int settled = frames;
    for (int i = 0; i < 5; ++i)
        system.runOnce(10ms);
    EXPECT_EQ(frames, settled); // idle: no redraw
    window->setNeedsDisplay();
    system.runOnce(10ms);
    EXPECT_EQ(frames, settled + 1);
    system.runOnce(10ms);
    EXPECT_EQ(frames, settled + 1);
}

TEST_F(EventLoop, InputReachesTheHandlerFromTheLoopNotFromTheCallback) {
    WindowOptions options;
    options.contentSize = {120, 80};
    auto window = WindowSystem::shared().createWindow(options);
    auto* gl = static_cast<GlWindow*>(window.get());
    std::vector<InputEvent> events;
    window->setEventHandler([&](const InputEvent& e) {
        if (e.kind != InputEvent::Kind::MouseMove) events.push_back(e);
    });
    gl->simulateMouseClick({30, 40});
    gl->simulateKey('A', keys::ModShift);
    gl->simulateText("ñ");
    gl->simulateScroll({10, 10}, 0, -2);
    EXPECT_TRUE(events.empty()); // queued until the loop hands them out
    WindowSystem::shared().runUntil([&] { return events.size() >= 5; }, kPatience);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, InputEvent::Kind::MouseDown);
    EXPECT_EQ(events[0].position, (Point{30, 40}));
    EXPECT_EQ(events[1].kind, InputEvent::Kind::MouseUp);
    EXPECT_EQ(events[2].kind, InputEvent::Kind::Key);
    EXPECT_EQ(events[2].key, 'A');
    EXPECT_EQ(events[2].mods, keys::ModShift);
    EXPECT_EQ(events[3].kind, InputEvent::Kind::Character);
    EXPECT_EQ(events[3].codepoint, U'ñ');
    EXPECT_EQ(events[4].kind, InputEvent::Kind::Scroll);
    EXPECT_FLOAT_EQ(events[4].dy, -2);

    // Focus changes go to their own handler, handed out by the loop as well.
    std::vector<bool> focus;
    window->setFocusHandler([&](bool focused) { focus.push_back(focused); });
    gl->simulateFocus(false);
    EXPECT_TRUE(focus.empty());
    WindowSystem::shared().runUntil([&] { return !focus.empty(); }, kPatience);
    ASSERT_FALSE(focus.empty());
    EXPECT_FALSE(focus.back());
    EXPECT_EQ(events.size(), 5u);
}

TEST_F(EventLoop, AHandlerMayCloseItsOwnWindow) {
    WindowOptions options;
    options.contentSize = {120, 80};
    auto window = WindowSystem::shared().createWindow(options);
    auto* gl = static_cast<GlWindow*>(window.get());
    int seen = 0;
    window->setEventHandler([&](const InputEvent& e) {
        if (e.kind == InputEvent::Kind::MouseMove) return;
        ++seen;
        if (e.kind == InputEvent::Kind::CloseRequest) window.reset();
    });
    const size_t before = WindowSystem::shared().windowCount();
    gl->simulateCloseRequest();
    gl->simulateKey('B'); // queued behind the close: dropped with the window
    WindowSystem::shared().runUntil([&] { return !window; }, kPatience);
    EXPECT_FALSE(window);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(WindowSystem::shared().windowCount(), before - 1);
    WindowSystem::shared().runOnce(10ms); // nothing left that points at the closed window
}

} // namespace
