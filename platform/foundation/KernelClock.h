// The kernel's clocks as one reading: wall time, the local time zone's offset, the wall-clock
// instant of the boot (from /proc/stat "btime", whole seconds) and the time since the boot
// (CLOCK_BOOTTIME, which counts suspended time and ignores changes of the wall clock). The boot
// instant is re-read from the kernel only when the wall clock has moved against the boot clock, so a
// reading stays cheap. Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plat {

struct KernelClockReading {
    int64_t wallNanoseconds = 0;       // since 1970 UTC
    int64_t timezoneOffsetSeconds = 0; // east of GMT positive
    int64_t bootTimeNanoseconds = 0;   // the boot's wall-clock instant; 0 when unknown
    int64_t uptimeNanoseconds = 0;
};

class KernelClock {
public:
    static KernelClockReading read();
    // The boot's wall-clock instant in nanoseconds; 0 when the kernel does not tell.
    static int64_t bootTimeNanoseconds();
    // The "btime" seconds of a /proc/stat text; none when there is no well-formed line.
    static std::optional<int64_t> bootTimeFromProcStat(std::string_view text);
};

} // namespace plat
