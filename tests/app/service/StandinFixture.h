// A stand-in server on an ephemeral port for one test, with the service environment pointed at it,
// and helpers that wait for replies by pumping the main queue.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "standin/StandinServer.h"
#include "tests/app/service/ServiceTestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace servicetest {

class StandinTest : public ::testing::Test {
protected:
    StandinTest() : port_(server_.start(0)), env_(server_.baseURL()) {}
    ~StandinTest() override { server_.stop(); }

    // Pumps the main queue until `done` holds; fails the test when it does not within the suite's
    // patience, which only a fault runs out of.
    static void waitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = testsupport::kPatience) {
        ASSERT_TRUE(plat::RunLoop::main().runUntil(done, timeout)) << "timed out";
    }

    // A fresh bearer token for the demo account, stored as "token".
    std::string signInDemo() {
        std::optional<JSON> reply;
        Client::shared().loginWithEmail(standin::StandinServer::demoEmail(),
                                        standin::StandinServer::demoPassword(),
                                        [&](std::optional<plat::Error>, std::optional<JSON> json,
                                            std::optional<int>) { reply = json.value_or(JSON()); });
        waitFor([&] { return reply.has_value(); });
        std::string token = (*reply)["access_token"].stringValue();
        Preferences::setToken(token);
        server_.clearRequests();
        return token;
    }

    standin::StandinServer server_;
    int port_;
    ServiceEnvironment env_;
};

// A completion's outcome and whether it ran on the main thread.
struct Reply {
    bool called = false;
    bool onMain = false;
    std::optional<plat::Error> error;
    std::optional<JSON> json;
    std::optional<int> status;

    Client::Completion get() {
        return [this](std::optional<plat::Error> e, std::optional<JSON> j) {
            record(std::move(e), std::move(j), std::nullopt);
        };
    }
    Client::PostCompletion post() {
        return [this](std::optional<plat::Error> e, std::optional<JSON> j, std::optional<int> s) {
            record(std::move(e), std::move(j), s);
        };
    }

private:
    void record(std::optional<plat::Error> e, std::optional<JSON> j, std::optional<int> s) {
        called = true;
        onMain = plat::isMainThread() && plat::DispatchQueue::main().isCurrent();
        error = std::move(e);
        json = std::move(j);
        status = s;
    }
};

} // namespace servicetest
