// Shared set-up of the service tests: a private data root, no machine serial, fresh caches of the
// settings, the identifier and the API base, requests that wait the suite's patience, and a capture
// of the console lines.
#pragma once

#include "app/classes/Preferences.h"
#include "app/network/Client.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "platform/security/KeychainStore.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace servicetest {

// Console lines printed while it lives.
class ConsoleCapture {
public:
    ConsoleCapture() {
        previous_ = plat::setConsoleSink([state = state_](const std::string& line) {
            std::lock_guard lock(state->mutex);
            state->lines.push_back(line);
        });
    }
    ~ConsoleCapture() { plat::setConsoleSink(previous_); }
    std::vector<std::string> lines() const {
        std::lock_guard lock(state_->mutex);
        return state_->lines;
    }
    size_t countStartingWith(const std::string& prefix) const {
        auto all = lines();
        return std::count_if(all.begin(), all.end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::function<void(const std::string&)> previous_;
};

// Sets $VELMORA_HOME, an empty machine serial and `apiBase` (when given), and resets the caches.
class ServiceEnvironment {
public:
    explicit ServiceEnvironment(const std::string& apiBase = "") {
        setenv("VELMORA_SERIAL_NUMBER", "", 1);
        if (apiBase.empty())
            unsetenv("VELMORA_API_BASE");
        else
            setenv("VELMORA_API_BASE", apiBase.c_str(), 1);
        reset();
    }
    ~ServiceEnvironment() {
        plat::RunLoop::main().drain();
        plat::KeychainStore::shared().clearFaults();
        unsetenv("VELMORA_API_BASE");
        reset();
    }
    const testsupport::TempHome& home() const { return home_; }

private:
    static void reset() {
        plat::UserDefaults::resetForTesting();
        Preferences::resetForTesting();
        Client::reloadServerPathForTesting();
        // Requests wait for the stand-in as long as the tests wait for them: a crowded machine
        // must not turn a slow answer into a time-out. A test of the time-out sets its own.
        Client::setRequestTimeoutForTesting(std::chrono::duration<double>(testsupport::kPatience).count());
    }
    testsupport::TempHome home_;
};

} // namespace servicetest
