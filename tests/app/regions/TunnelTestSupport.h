// A stand-in server, a console capture and a manual clock for the tunnel tests, with helpers to
// wait for console lines, move the tunnel's clock and read the saved profile as another process
// would.
#pragma once

#include "platform/vpn/NEVPNManager.h"
#include "standin/RegionFixture.h"
#include "tests/app/service/StandinFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace regiontest {

class TunnelTest : public servicetest::StandinTest {
protected:
    // Pumps the main queue until a line starting with `prefix` has been printed `count` times.
    void waitForLine(const std::string& prefix, size_t count = 1) {
        waitFor([&] { return console_.countStartingWith(prefix) >= count; });
    }
    // Lets the simulator's queue run what is queued and what that queues in turn (a completion
    // that starts or stops the tunnel queues one more step).
    static void settle(plat::NEVPNManager& manager) {
        for (int i = 0; i < 3; ++i)
            manager.queue().sync([] {});
    }
    // Moves the tunnel's clock (once what is queued has put its timers on it) and lets the
    // simulator's queue act on it.
    void advance(plat::NEVPNManager& manager, plat::Duration d) {
        settle(manager);
        scheduler_.advance(d);
        settle(manager);
    }
    // The saved profile as a fresh manager of another process (with its own notification centre)
    // loads it.
    std::unique_ptr<plat::NEVPNManager> savedProfile() {
        auto other = std::make_unique<plat::NEVPNManager>(scheduler_, otherProcessCenter_);
        std::optional<plat::Error> error = plat::Error("not called", 0);
        other->loadFromPreferences([&](std::optional<plat::Error> e) { error = e; });
        other->queue().sync([] {});
        EXPECT_FALSE(error);
        return other;
    }
    bool requested(const std::string& path) const {
        auto all = server_.requests();
        return std::any_of(all.begin(), all.end(), [&](const auto& r) { return r.path == path; });
    }
    // The order in which the lines were printed.
    std::vector<std::string> linesFrom(const std::string& first) const {
        auto all = console_.lines();
        auto it = std::find(all.begin(), all.end(), first);
        return std::vector<std::string>(it, all.end());
    }

    servicetest::ConsoleCapture console_;
    plat::ManualScheduler scheduler_;
    plat::NotificationCenter otherProcessCenter_;
};

} // namespace regiontest
