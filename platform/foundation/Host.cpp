#include "platform/foundation/Host.h"

#include "platform/foundation/Paths.h"

#include <climits>
#include <sstream>
#include <unistd.h>

namespace plat {

namespace {

std::string trimmed(std::string text) {
    const char* blanks = " \t\r\n";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The value of PRETTY_HOSTNAME in an environment-style file; quotes around the value are dropped.
std::optional<std::string> prettyHostName(const std::filesystem::path& machineInfo) {
    auto contents = paths::readFile(machineInfo);
    if (!contents) return std::nullopt;
    std::istringstream lines(*contents);
    std::string line;
    const std::string key = "PRETTY_HOSTNAME=";
    while (std::getline(lines, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = trimmed(line.substr(key.size()));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        value = trimmed(value);
        if (!value.empty()) return value;
    }
    return std::nullopt;
}

std::optional<std::string> networkHostName() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::nullopt;
    std::string name = trimmed(buffer);
    if (name.empty()) return std::nullopt;
    return name;
}

} // namespace

Host Host::current(const std::filesystem::path& machineInfo) {
    auto name = networkHostName();
    auto pretty = prettyHostName(machineInfo);
    return Host(pretty ? pretty : name, name);
}

} // namespace plat
