#include "core/TSRLogger.h"

#include "core/TSRVersion.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

struct FrontState {
    std::mutex lock; // serialises the set-up
    std::atomic<bool> initialized{false};
    std::atomic<bool> analyticsDebugMode{false};
};

FrontState& state() {
    static auto* s = new FrontState; // never destroyed: components may log while the process exits
    return *s;
}

bool hasArgument(const std::vector<std::string>& arguments, const char* argument) {
    return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

void initializeOnce() {
    TULLoggerRegisterVersion(TSRVersion());
    const std::vector<std::string> arguments = plat::ProcessInfo::processInfo().arguments();
    plat::UserDefaults& defaults = plat::UserDefaults::standard();
    const bool persistedDebugMode = defaults.boolean(kTSRPersistedDebugModeKey);

    if (hasArgument(arguments, kTSRDisableDebugModeApplicationArgument)) {
        defaults.remove(kTSRPersistedDebugModeKey);
        TULLoggerInitialize();
    } else if (hasArgument(arguments, kTSREnableDebugModeApplicationArgument) || persistedDebugMode) {
        // Persisting keeps debug mode on across launches until one is started with the disabling switch.
        defaults.set(kTSRPersistedDebugModeKey, plat::Object(true));
        TULLoggerInitialize();
        TULLoggerForceDebug();
    } else {
        TULLoggerInitialize();
    }
}

} // namespace

void TSRLoggerInitialize() {
    FrontState& s = state();
    if (s.initialized.load(std::memory_order_acquire)) return;
    std::lock_guard guard(s.lock);
    if (s.initialized.load(std::memory_order_relaxed)) return;
    initializeOnce();
    s.initialized.store(true, std::memory_order_release);
}

void TSRSetAnalyticsDebugMode(bool analyticsDebugMode) {
    TSRLoggerInitialize();
    state().analyticsDebugMode.store(analyticsDebugMode);
}

int TSRGetLoggerLevel() {
    TSRLoggerInitialize();
    return TULGetLoggerLevel();
}

void TSRSetLoggerLevel(int loggerLevel) {
    TSRLoggerInitialize();
    TULSetLoggerLevel(loggerLevel);
}

void TSRSetLoggerLevelNotice() {
    TSRSetLoggerLevel(TSRLoggerLevelNotice);
}
void TSRSetLoggerLevelWarning() {
    TSRSetLoggerLevel(TSRLoggerLevelWarning);
}
void TSRSetLoggerLevelError() {
    TSRSetLoggerLevel(TSRLoggerLevelError);
}
void TSRSetLoggerLevelDebug() {
    TSRSetLoggerLevel(TSRLoggerLevelDebug);
}

bool TSRIsLoggableLevel(int loggerLevel, bool analyticsComponent) {
    TSRLoggerInitialize();
    if (state().analyticsDebugMode.load() && analyticsComponent) return true;
    return TULIsLoggableLevel(loggerLevel);
}

bool TSRIsLoggableLevelNotice() {
    return TSRIsLoggableLevel(TSRLoggerLevelNotice, false);
}
bool TSRIsLoggableLevelWarning() {
    return TSRIsLoggableLevel(TSRLoggerLevelWarning, false);
}
bool TSRIsLoggableLevelError() {
    return TSRIsLoggableLevel(TSRLoggerLevelError, false);
}
bool TSRIsLoggableLevelDebug() {
    return TSRIsLoggableLevel(TSRLoggerLevelDebug, false);
}

namespace {

bool isForced(const std::string& service) {
    return state().analyticsDebugMode.load() && service == kTSRLoggerAnalytics;
}

} // namespace

bool TSRLogWouldWrite(int level, const std::string& service) {
    TSRLoggerInitialize();
    return isForced(service) || TULIsLoggableLevel(level);
}

void TSRLogBasic(int level, const std::string& service, const std::string& messageCode,
                 const std::string& format, const TULFormatArguments* arguments) {
    TSRLoggerInitialize();
    TULOSLogBasic(level, kTSRLoggerSubsystem, service, isForced(service), messageCode, format, arguments);
}

void TSRLoggerWrapper::logWithLevel(int level, const std::string& service, const std::string& code,
                                    const std::string& message) {
    TSRLogBasic(level, service, code, message, nullptr);
}

void TSRLoggerResetForTesting() {
    FrontState& s = state();
    std::lock_guard guard(s.lock);
    TULLoggerResetForTesting();
    s.analyticsDebugMode.store(false);
    s.initialized.store(false);
}
