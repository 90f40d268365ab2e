// Builds the user-agent string that names the registered libraries and the environment they run
// in: "key/value" entries sorted as the user's language sorts text, ignoring case, joined by one
// blank. The string is cached until a component changes. Thread-safe (one recursive lock).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

class TSRUserAgent {
public:
    using Components = std::map<std::string, std::string>;

    TSRUserAgent() = default;

    // Sets the component to `value`, replacing an earlier one; none removes it.
    void setValue(const std::optional<std::string>& value, const std::string& component);
    // The finished string; environment entries win over components of the same key.
    std::string tesseraUserAgent();
    // The component table becomes the environment entries alone; registered libraries are gone.
    void reset();

    // This builder's environment entries, computed once on first use and then kept.
    Components environmentComponents();
    Components valuesByComponent();

    // The environment entries of the process, computed afresh: platform, SDK and tool builds from
    // the main bundle (left out when missing), store origin, deployment, device and system version.
    static Components currentEnvironmentComponents();

private:
    std::recursive_mutex lock_;
    std::optional<std::string> tesseraUserAgent_;
    std::optional<Components> environmentComponents_;
    Components valuesByComponent_;
};
