// Test helper: the shared logger's lines (debug ones included) written while it lives, for tests
// that check what the crash reporter tells the developer.
#pragma once

#include "core/TSRLogger.h"
#include "platform/log/OSLog.h"
#include "utilities/TULLogger.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace crashtest {

class CapturedLog {
public:
    CapturedLog() {
        TSRSetLoggerLevelDebug();
        plat::OSLog::setDebugEnabled(true);
        previous_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
            std::lock_guard guard(lock_);
            lines_.push_back(entry.text);
        });
    }
    ~CapturedLog() {
        TULLoggerWaitUntilWritten();
        plat::OSLog::setSink(previous_);
        plat::OSLog::setDebugEnabled(false);
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    // How many lines written so far hold `fragment`.
    size_t count(const std::string& fragment) {
        TULLoggerWaitUntilWritten();
        std::lock_guard guard(lock_);
        return std::count_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
            return line.find(fragment) != std::string::npos;
        });
    }
    bool contains(const std::string& fragment) { return count(fragment) > 0; }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previous_;
};

} // namespace crashtest
