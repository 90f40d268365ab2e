#include "platform/render/WindowSystem.h"

#include "platform/log/OSLog.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/GlWindow.h"

#include <GLFW/glfw3.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>

namespace plat::render {

namespace {

const OSLog& log() {
    static const OSLog* l = new OSLog("io.velmora.mac", "render");
    return *l;
}

enum class Start { NotTried, Running, Failed };
Start gStart = Start::NotTried;

// A main-queue block that keeps re-posting itself must not starve input and drawing.
constexpr size_t kBlocksPerTurn = 256;

} // namespace

bool WindowSystem::available() {
    if (gStart == Start::Running) return true;
    if (gStart == Start::Failed) return false;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    glfwSetErrorCallback([](int code, const char* text) {
        log().error("window library error " + std::to_string(code) + ": " + (text ? text : ""));
    });
    if (glfwInit() != GLFW_TRUE) {
        gStart = Start::Failed;
        return false;
    }
    gStart = Start::Running;
    // Posting to the main queue wakes the loop out of its wait for events.
    RunLoop::main().setWakeHandler([] { glfwPostEmptyEvent(); });
    return true;
}

WindowSystem& WindowSystem::shared() {
    static WindowSystem* system = [] {
        if (!available()) log().fault("WindowSystem::shared() without a display");
        return new WindowSystem();
    }();
    return *system;
}

std::unique_ptr<Surface> WindowSystem::createWindow(const WindowOptions& options) {
    return std::make_unique<GlWindow>(options);
}

void WindowSystem::add(GlWindow* window) {
    windows_.push_back(window);
}

void WindowSystem::remove(GlWindow* window) {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    for (GlWindow* w : windows_) {
        if (w->parent() == window) w->detachFromParent();
    }
}

bool WindowSystem::alive(GlWindow* window) const {
    return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
}

size_t WindowSystem::runQueuedBlocks() {
    size_t ran = 0;
    while (ran < kBlocksPerTurn && RunLoop::main().runOne())
        ++ran;
    return ran;
}

void WindowSystem::runOnce(Duration maxWait) {
    runQueuedBlocks();
    glfwPollEvents();
    deliverInput();
    runQueuedBlocks();
    bool animating = false;
    for (GlWindow* w : std::vector<GlWindow*>(windows_)) {
        if (!alive(w)) continue;
        w->displayIfNeeded();
        if (alive(w)) animating = animating || w->animating();
    }
    if (RunLoop::main().pendingCount() > 0 || stopRequested_) return;
    for (GlWindow* w : windows_) {
        if (w->needsDisplay()) return;
    }
    double wait = secondsFromDuration(maxWait);
    if (animating) wait = std::min(wait, 1.0 / 30.0);
    if (!animating) releaseFreedMemory();
    ++waits_;
    if (wait > 0)
        glfwWaitEventsTimeout(wait);
    else
        glfwPollEvents();
    // Handle what woke the wait within this turn; drawing follows in the next.
    deliverInput();
    runQueuedBlocks();
}

void WindowSystem::releaseFreedMemory() {
    // Decoding a region list, images and fonts leaves the heap full of freed blocks between live
    // ones, which the allocator keeps: the pages are handed back once the application goes idle
    // after such work, at most once every few seconds.
    const auto now = Clock::system().now();
    if (now - lastTrim_ < std::chrono::seconds(2)) return;
    lastTrim_ = now;
    ::malloc_trim(0);
}

void WindowSystem::deliverInput() {
    // Handlers may open or close windows: work on a copy and skip the ones that went away.
    for (GlWindow* w : std::vector<GlWindow*>(windows_)) {
        if (alive(w)) w->deliverEvents();
    }
}

void WindowSystem::run() {
    ++runDepth_;
    while (!stopRequested_.exchange(false))
        runOnce();
    --runDepth_;
}

void WindowSystem::stop() {
    // Like the main queue's loop: only a run() in progress is stopped.
    if (runDepth_.load() == 0) return;
    stopRequested_ = true;
    glfwPostEmptyEvent();
}

bool WindowSystem::runUntil(const std::function<bool()>& predicate, Duration timeout) {
    const TimePoint deadline = Clock::system().now() + std::clamp(timeout, Duration::zero(), maxDuration());
    for (;;) {
        if (predicate()) return true;
        const TimePoint now = Clock::system().now();
        if (now >= deadline) return predicate();
        // Short turns: the predicate may turn true through work that posts nothing here.
        runOnce(std::min<Duration>(std::chrono::milliseconds(10), deadline - now));
    }
}

} // namespace plat::render
