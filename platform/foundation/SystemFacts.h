// Facts about the machine that the library code reports: the hardware model (from the firmware's
// DMI table), the machine architecture (from uname) and kernel entries by their dotted names.
// Nothing here fails: a fact the system does not offer is none.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class SystemFacts {
public:
    // The firmware's product name, else its board name, made safe for one-token fields ("Standard
    // PC (Q35)" -> "Standard_PC_(Q35)"); none when neither is set. `dmiDir` is for tests.
    static std::optional<std::string>
    hardwareModel(const std::filesystem::path& dmiDir = "/sys/class/dmi/id");
    // uname's machine field ("x86_64"); empty when uname fails.
    static std::string machine();
    // The CPU's model name ("model name" of /proc/cpuinfo, else its "Hardware" or "cpu model"
    // line); none when the file names none. `cpuinfo` is for tests.
    static std::optional<std::string> cpuBrand(const std::filesystem::path& cpuinfo = "/proc/cpuinfo");
    // A kernel entry by dotted name: "hw.model", "hw.machine", "kern.ostype", "kern.osrelease",
    // "kern.osversion" (the kernel's build description) and "kern.hostname" answer the facts above
    // or uname's fields; "machdep.cpu.brand_string" answers cpuBrand(); any other name reads /proc/sys
    // ("kernel.pid_max" -> /proc/sys/kernel/pid_max). None for unknown, unreadable, empty or
    // malformed names (anything but letters, digits, "_", "-" between dots).
    static std::optional<std::string> sysctlEntry(std::string_view name);

    // Trims the text, turns each run of white space into "_", drops control bytes and caps the
    // length, so the result can stand as one token in a user-agent field.
    static std::string safeModelName(std::string_view raw);
};

} // namespace plat
