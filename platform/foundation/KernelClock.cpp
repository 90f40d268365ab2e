#include "platform/foundation/KernelClock.h"

#include <charconv>
#include <fstream>
#include <mutex>
#include <string>
#include <time.h>

namespace plat {
namespace {

int64_t nanos(clockid_t clock) {
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) return 0;
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The kernel's boot instant changes only when the wall clock is set; between two such events
// (wall − boot clock) stays put to within the time between the two clock reads.
constexpr int64_t kWallClockMoveTolerance = 2000000; // 2 ms

struct BootTimeCache {
    std::mutex lock;
    bool valid = false;
    int64_t wallMinusBoot = 0;
    int64_t bootTimeNanos = 0;
};

BootTimeCache& cache() {
    static auto* instance = new BootTimeCache;
    return *instance;
}

int64_t readProcStatBootTime() {
    std::ifstream in("/proc/stat");
    if (!in) return 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("btime ", 0) != 0) continue;
        auto seconds = KernelClock::bootTimeFromProcStat(line);
        return seconds ? *seconds * 1000000000 : 0;
    }
    return 0;
}

int64_t bootTimeFor(int64_t wall, int64_t boot) {
    BootTimeCache& c = cache();
    const int64_t wallMinusBoot = wall - boot;
    std::lock_guard guard(c.lock);
    int64_t moved = wallMinusBoot - c.wallMinusBoot;
    if (c.valid && moved < kWallClockMoveTolerance && moved > -kWallClockMoveTolerance)
        return c.bootTimeNanos;
    c.bootTimeNanos = readProcStatBootTime();
    c.wallMinusBoot = wallMinusBoot;
    c.valid = c.bootTimeNanos != 0;
    return c.bootTimeNanos;
}

} // namespace

std::optional<int64_t> KernelClock::bootTimeFromProcStat(std::string_view text) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string_view line =
            text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? text.size() : end + 1;
        if (line.rfind("btime ", 0) != 0) continue;
        std::string_view digits = line.substr(6);
        while (!digits.empty() && digits.front() == ' ')
            digits.remove_prefix(1);
        while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\r'))
            digits.remove_suffix(1);
        int64_t seconds = 0;
        auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
        if (ec != std::errc() || ptr != digits.data() + digits.size() || digits.empty() || seconds < 0 ||
            seconds > INT64_MAX / 1000000000)
            return std::nullopt;
        return seconds;
    }
    return std::nullopt;
}

int64_t KernelClock::bootTimeNanoseconds() {
    int64_t boot = nanos(CLOCK_BOOTTIME);
    int64_t wall = nanos(CLOCK_REALTIME);
    return bootTimeFor(wall, boot);
}

KernelClockReading KernelClock::read() {
    KernelClockReading r;
    r.uptimeNanoseconds = nanos(CLOCK_BOOTTIME);
    r.wallNanoseconds = nanos(CLOCK_REALTIME);
    r.bootTimeNanoseconds = bootTimeFor(r.wallNanoseconds, r.uptimeNanoseconds);
    time_t seconds = static_cast<time_t>(r.wallNanoseconds / 1000000000);
    struct tm local {};
    if (localtime_r(&seconds, &local) != nullptr) r.timezoneOffsetSeconds = local.tm_gmtoff;
    return r;
}

} // namespace plat
