#include "utilities/TULLogger.h"

#include "platform/dispatch/DispatchQueue.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <atomic>
#include <map>
#include <mutex>

namespace {

struct LoggerState {
    std::atomic<int> maxLevel{0};
    std::atomic<bool> debugMode{false};
    std::atomic<bool> initialized{false};
    std::mutex lock; // guards the set-up and the version
    std::string version;
    std::optional<plat::DispatchQueue> clientQueue;
    // subsystem -> category -> log object; touched only on the client queue.
    std::map<std::string, std::map<std::string, plat::OSLog>> logObjects;
};

LoggerState& state() {
    static auto* s = new LoggerState; // never destroyed: lines may still be queued at exit
    return *s;
}

plat::DispatchQueue clientQueue() {
    std::lock_guard guard(state().lock);
    return *state().clientQueue;
}

} // namespace

void TULLoggerInitialize() {
    LoggerState& s = state();
    if (s.initialized.load(std::memory_order_acquire)) return;
    std::lock_guard guard(s.lock);
    if (s.initialized.load(std::memory_order_relaxed)) return;
    s.maxLevel.store(TULLoggerLevelNotice);
    // The platform's queues have no target setting; a background-class queue gives the same
    // priority as targeting the background global queue.
    if (!s.clientQueue)
        s.clientQueue.emplace("TULLoggingClientQueue", plat::DispatchQueue::Attributes::Serial,
                              plat::QoS::Background);
    s.initialized.store(true, std::memory_order_release);
}

void TULLoggerForceDebug() {
    if (TULAppEnvironmentUtil::isFromAppStore()) return;
    state().debugMode.store(true);
    TULSetLoggerLevel(TULLoggerLevelDebug);
}

void TULSetLoggerLevel(int level) {
    if (level < TULLoggerLevelMin || level > TULLoggerLevelMax) {
        TULOSLogError("com.tessera.utilities.logger", "[TULLogger]", true, "I-COR000023",
                      "Invalid logger level, %ld", static_cast<long>(level));
        return;
    }
    TULLoggerInitialize();
    // The store build never shows more than warnings.
    if (level >= TULLoggerLevelNotice && TULAppEnvironmentUtil::isFromAppStore()) return;
    state().maxLevel.store(level);
}

int TULGetLoggerLevel() {
    return state().maxLevel.load();
}

bool TULIsLoggableLevel(int level) {
    TULLoggerInitialize();
    return state().debugMode.load() || level <= state().maxLevel.load();
}

void TULLoggerRegisterVersion(std::string version) {
    std::lock_guard guard(state().lock);
    state().version = std::move(version);
}

plat::OSLogType TULLoggerLevelToOSLogType(int level) {
    switch (level) {
    case TULLoggerLevelError:
        return plat::OSLogType::Error;
    case TULLoggerLevelWarning:
    case TULLoggerLevelNotice:
        return plat::OSLogType::Default;
    case TULLoggerLevelInfo:
        return plat::OSLogType::Info;
    case TULLoggerLevelDebug:
        return plat::OSLogType::Debug;
    default:
        return plat::OSLogType::Error;
    }
}

void TULOSLogBasic(int level, const std::string& subsystem, const std::string& category, bool forceLog,
                   const std::string& messageCode, const std::string& message,
                   const TULFormatArguments* arguments) {
    TULLoggerInitialize();
    LoggerState& s = state();
    if (level > s.maxLevel.load() && !s.debugMode.load() && !forceLog) return;

    std::string text = arguments ? TULStringWithFormat(message, *arguments) : message;
    std::string version;
    {
        std::lock_guard guard(s.lock);
        version = s.version;
    }
    std::string line = version + " - " + category + "[" + messageCode + "] " + text;
    plat::OSLogType type = TULLoggerLevelToOSLogType(level);
    clientQueue().async([subsystem, category, type, line = std::move(line)] {
        auto& categories = state().logObjects[subsystem];
        auto found = categories.find(category);
        if (found == categories.end())
            found = categories.emplace(category, plat::OSLog(subsystem, category)).first;
        found->second.write(type, line);
    });
}

void TULLoggerWaitUntilWritten() {
    TULLoggerInitialize();
    clientQueue().sync([] {});
}

void TULLoggerResetForTesting() {
    TULLoggerInitialize();
    TULLoggerWaitUntilWritten();
    LoggerState& s = state();
    std::lock_guard guard(s.lock);
    s.maxLevel.store(0);
    s.debugMode.store(false);
    s.version.clear();
    s.initialized.store(false);
}

void TULLoggerWrapper::logWithLevel(int level, const std::string& subsystem, const std::string& category,
                                    const std::string& messageCode, const std::string& message,
                                    const TULFormatArguments& arguments) {
    TULOSLogBasic(level, subsystem, category, false, messageCode, message, &arguments);
}

void TULLoggerWrapper::logWithLevel(int level, const std::string& service, const std::string& code,
                                    const std::string& message, const TULFormatArguments& arguments) {
    TULOSLogBasic(level, "com.tessera.utilities.logger", service, false, code, message, &arguments);
}
