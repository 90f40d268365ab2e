// A kernel entry by its dotted name ("kern.osversion"), as text; none when the system has no such
// entry or it is empty. Any thread.
#pragma once

#include <optional>
#include <string>

std::optional<std::string> TSRSESGetSysctlEntry(const std::string& name);
