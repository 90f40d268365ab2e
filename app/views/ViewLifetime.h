// How screens defer work past the current update pass. A screen owns a ViewLifetime as a state
// object and marks it ended when its content disappears; the block it queues holds that token
// weakly and is skipped once the screen has left the tree, so a screen that is gone is left alone.
// Main thread only.
#pragma once

#include "platform/ui/AnyView.h"

#include <functional>
#include <memory>

// The token: made when the screen's place is first built. The screen instance may outlive its
// place by a turn, so leaving the tree is recorded explicitly (see endsWith).
struct ViewLifetime {
    bool ended = false;
};

// `content` (a screen's body) that marks `lifetime` ended when it leaves the tree.
plat::ui::AnyView endsWith(plat::ui::AnyView content, const std::shared_ptr<ViewLifetime>& lifetime);

// Runs `work` on a later turn of the main queue (one block, queued now), unless the screen has
// left the tree by then.
void deferWhileAlive(std::weak_ptr<ViewLifetime> lifetime, std::function<void()> work);

// Gives the application's main window a frame of `width` by `height` points (title strip
// included), keeping the frame's origin, and redisplays it at once. Nothing without a main window.
void setMainWindowFrameSize(double width, double height);
