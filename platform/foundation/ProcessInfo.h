// Facts about the running process and the machine: arguments, environment, host name and the
// operating system (from os-release). Tests may override the arguments and the version, and point
// the os-release at a file of their own.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace plat {

struct OperatingSystemVersion {
    int majorVersion = 0;
    int minorVersion = 0;
    int patchVersion = 0;
    auto operator<=>(const OperatingSystemVersion&) const = default;
};

class ProcessInfo {
public:
    static ProcessInfo& processInfo();

    // The command-line arguments, program first. Set once by the entry point (setArguments).
    std::vector<std::string> arguments() const;
    void setArguments(std::vector<std::string> arguments);
    std::map<std::string, std::string> environment() const;
    std::optional<std::string> environmentValue(const std::string& name) const;
    std::string hostName() const;
    std::string processName() const;
    int processIdentifier() const;

    // major.minor.patch from /etc/os-release VERSION_ID, else from uname's release.
    OperatingSystemVersion operatingSystemVersion() const;
    // "Version 12.5 (Build 6.1.0)"-like text: the distribution name and version and the kernel.
    std::string operatingSystemVersionString() const;
    bool isOperatingSystemAtLeastVersion(OperatingSystemVersion version) const;
    // Test hook: pretend to run on another version; nullopt restores the real one.
    void overrideOperatingSystemVersion(std::optional<OperatingSystemVersion> version);
    // The system as its users know it: os-release PRETTY_NAME ("Debian GNU/Linux 12 (bookworm)"),
    // else NAME and VERSION_ID, else "Linux" and the kernel release.
    std::string operatingSystemPrettyName() const;
    // Test hook: read this file instead of /etc/os-release (a missing file stands for a system
    // without one); nullopt restores the real one.
    void setOSReleasePathForTesting(std::optional<std::filesystem::path> path);

    // Parses "12", "12.5" or "12.5.1" (missing parts are 0); none for text that does not start
    // with a number.
    static std::optional<OperatingSystemVersion> parseVersion(const std::string& text);

private:
    ProcessInfo() = default;
};

} // namespace plat
