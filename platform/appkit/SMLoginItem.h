// The older helper login-item switch and the user's job list it is read back from. The job list is
// a property list of job dictionaries ("Label", "OnDemand", "Program") in the config folder; a
// switched-on job also gets an autostart entry so the session really starts it.
#pragma once

#include "platform/object/Object.h"

#include <filesystem>
#include <optional>
#include <string>

namespace plat {

inline constexpr const char* kSMDomainUserLaunchd = "kSMDomainUserLaunchd";
inline constexpr const char* kSMDomainSystemLaunchd = "kSMDomainSystemLaunchd";

// Switches the helper `identifier` on (adds or updates its job with "OnDemand" true and writes its
// autostart entry) or off (removes both). True when the change was stored.
bool SMLoginItemSetEnabled(const std::string& identifier, bool enabled);

// The job dictionaries of a domain; none for the system domain or when the list cannot be read.
// A list that was never written is empty.
std::optional<Object::Array> SMCopyAllJobDictionaries(const std::string& domain);

// The file holding the user's job list.
std::filesystem::path smJobListPath();
// Test hook: replaces the stored job list (any property-list value, also a malformed one).
bool smWriteJobListForTesting(const Object& jobs);

} // namespace plat
