#include "platform/log/OSLog.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace plat {

namespace {

struct LogState {
    std::mutex mutex;
    OSLog::Sink sink;
    std::function<void(const std::string&)> consoleSink;
};

LogState& state() {
    static LogState* s = new LogState(); // never destroyed: logging may run during exit
    return *s;
}

std::atomic<int> debugEnabled{-1}; // -1: not yet read from the environment

bool isDebugEnabled() {
    int v = debugEnabled.load();
    if (v < 0) {
        const char* env = std::getenv("VELMORA_LOG_DEBUG");
        v = env && std::string(env) == "1" ? 1 : 0;
        debugEnabled.store(v);
    }
    return v == 1;
}

std::string timestamp() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
    return buf;
}

} // namespace

const char* osLogTypeName(OSLogType type) {
    switch (type) {
    case OSLogType::Default:
        return "Default";
    case OSLogType::Info:
        return "Info";
    case OSLogType::Debug:
        return "Debug";
    case OSLogType::Error:
        return "Error";
    case OSLogType::Fault:
        return "Fault";
    }
    return "?";
}

OSLog::OSLog(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void OSLog::write(OSLogType type, const std::string& text) const {
    Entry entry{subsystem_, category_, type, text};
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (s.sink) {
        s.sink(entry);
        return;
    }
    if ((type == OSLogType::Debug || type == OSLogType::Info) && !isDebugEnabled()) return;
    std::string line =
        timestamp() + " " + subsystem_ + "[" + category_ + "] " + osLogTypeName(type) + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

OSLog::Sink OSLog::setSink(Sink sink) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    std::swap(s.sink, sink);
    return sink;
}

void OSLog::setDebugEnabled(bool enabled) {
    debugEnabled.store(enabled ? 1 : 0);
}

void consoleLine(const std::string& line) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (s.consoleSink) {
        s.consoleSink(line);
        return;
    }
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

std::function<void(const std::string&)> setConsoleSink(std::function<void(const std::string&)> sink) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    std::swap(s.consoleSink, sink);
    return sink;
}

} // namespace plat
