// Captures the lines that the shared logger writes, with the logger at debug level and reset around
// each test, so tests can assert on message codes and texts.
#pragma once

#include "utilities/TULLogger.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace utiltest {

class LogCapture {
public:
    LogCapture() {
        TULLoggerResetForTesting();
        TULSetLoggerLevel(TULLoggerLevelDebug);
        previous_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
            std::lock_guard guard(mutex_);
            lines_.push_back(entry.category + " " + entry.text);
        });
    }
    ~LogCapture() {
        TULLoggerWaitUntilWritten();
        plat::OSLog::setSink(previous_);
        TULLoggerResetForTesting();
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line so far, "<category> <text>".
    std::vector<std::string> lines() {
        TULLoggerWaitUntilWritten();
        std::lock_guard guard(mutex_);
        return lines_;
    }
    // The lines that carry `code` ("[I-REA902001]").
    std::vector<std::string> withCode(const std::string& code) {
        std::vector<std::string> found;
        for (const auto& line : lines())
            if (line.find("[" + code + "]") != std::string::npos) found.push_back(line);
        return found;
    }
    void clear() {
        TULLoggerWaitUntilWritten();
        std::lock_guard guard(mutex_);
        lines_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previous_;
};

} // namespace utiltest
