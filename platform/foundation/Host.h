// The machine as the user knows it: the name shown for this computer. The pretty name that the
// system keeps for display ("PRETTY_HOSTNAME" in /etc/machine-info) wins over the network host
// name. Values are read when `current()` is called; the object itself never changes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace plat {

class Host {
public:
    // The host as it is now. `machineInfo` is for tests.
    static Host current(const std::filesystem::path& machineInfo = "/etc/machine-info");

    // The computer's display name; none when the system reports no name at all.
    const std::optional<std::string>& localizedName() const { return localizedName_; }
    // The network host name; none when it cannot be read.
    const std::optional<std::string>& name() const { return name_; }

private:
    Host(std::optional<std::string> localizedName, std::optional<std::string> name)
        : localizedName_(std::move(localizedName)), name_(std::move(name)) {}
    std::optional<std::string> localizedName_;
    std::optional<std::string> name_;
};

} // namespace plat
