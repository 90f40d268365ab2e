// Facts about the host and the running process that reports carry: operating-system version and
// build, hardware model, machine, CPU, page size and whether a debugger is attached. Start-up code
// calls these; the ones marked "no heap" read into caller buffers with plain system calls.
#pragma once

#include "platform/foundation/ProcessInfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The operating-system version (from os-release); all 0 when it cannot be read.
plat::OperatingSystemVersion CRWHostGetOSVersion();
// "major.minor.patch" of that version; a patch of 0 still shows.
std::string CRWHostOSDisplayVersion();
// The kernel's build description (sysctl "kern.osversion"); none when it cannot be read.
std::optional<std::string> CRWHostOSBuildVersion();
// The hardware model from the firmware, else the machine architecture.
std::string CRWHostModelInfo();
// The page size, clamped to 4096..16384; 16384 (logged) when the system will not say.
uint64_t CRWHostGetPageSize();
// A kernel fact by its dotted name into `buffer` (zero-terminated, cut to fit); false when it
// cannot be read. Besides the names plat::SystemFacts knows, "machdep.cpu.brand_string" names the
// CPU model.
bool CRWHostSysctlString(const char* name, char* buffer, size_t size);
// No heap: whether a tracer is attached to this process ("TracerPid" of /proc/self/status is not
// 0). A status that cannot be read is logged and counts as no debugger.
bool CRWProcessDebuggerAttached();
