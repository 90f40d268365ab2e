// Set-up shared by the sheet tests: the screen fixture (private data root, a main window, recorded
// workspace links, a session controller) with the process's REST client pointed at a stand-in
// server, a demo sign-in, and a way to count main-queue turns.
#pragma once

#include "app/network/Client.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "standin/StandinServer.h"
#include "tests/app/screens/ScreenTestSupport.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace sheettest {

using namespace screentest;

// Sets (or, with none, unsets) an environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (previous_)
            setenv(name_, previous_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

// Runs one main-queue turn: every block queued before this call, and none that they queue.
inline void runTurn() {
    bool reached = false;
    plat::mainQueue().async([&reached] { reached = true; });
    plat::RunLoop::main().runUntil([&reached] { return reached; });
}

class SheetTest : public ControllerScreenTest {
protected:
    SheetTest() {
        server_.start(0);
        setenv("VELMORA_API_BASE", server_.baseURL().c_str(), 1);
        Client::reloadServerPathForTesting();
    }
    ~SheetTest() override { server_.stop(); }

    // Stores a fresh bearer token of the stand-in's demo account.
    void signInDemo() {
        std::optional<JSON> reply;
        Client::shared().loginWithEmail(standin::StandinServer::demoEmail(),
                                        standin::StandinServer::demoPassword(),
                                        [&](std::optional<plat::Error>, std::optional<JSON> json,
                                            std::optional<int>) { reply = json.value_or(JSON()); });
        ASSERT_TRUE(waitFor([&] { return reply.has_value(); }));
        Preferences::setToken((*reply)["access_token"].stringValue());
        Preferences::setEmail(standin::StandinServer::demoEmail());
        server_.clearRequests();
    }

    // Requests the stand-in got for `method` and `path`.
    size_t requests(const std::string& method, const std::string& path) const {
        size_t n = 0;
        for (const auto& r : server_.requests())
            if (r.method == method && r.path == path) ++n;
        return n;
    }

    standin::StandinServer server_;
};

} // namespace sheettest
