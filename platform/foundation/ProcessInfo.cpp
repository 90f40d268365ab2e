#include "platform/foundation/ProcessInfo.h"

#include "platform/foundation/Paths.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

extern char** environ;

namespace plat {
namespace {

struct State {
    std::mutex mutex;
    std::vector<std::string> arguments;
    std::optional<OperatingSystemVersion> versionOverride;
    std::optional<std::filesystem::path> osReleasePath;
};

State& state() {
    static State* s = new State;
    return *s;
}

std::optional<std::string> osReleaseText() {
    std::optional<std::filesystem::path> path;
    {
        std::lock_guard lock(state().mutex);
        path = state().osReleasePath;
    }
    if (path) return paths::readFile(*path);
    auto text = paths::readFile("/etc/os-release");
    if (!text) text = paths::readFile("/usr/lib/os-release");
    return text;
}

// The value of `key` in /etc/os-release (KEY=value, value optionally quoted).
std::optional<std::string> osReleaseValue(const std::string& key) {
    const auto text = osReleaseText();
    if (!text) return std::nullopt;
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 || line[key.size()] != '=')
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::string unameRelease() {
    struct utsname u {};
    if (::uname(&u) != 0) return {};
    return u.release;
}

} // namespace

ProcessInfo& ProcessInfo::processInfo() {
    static ProcessInfo* info = new ProcessInfo;
    return *info;
}

std::vector<std::string> ProcessInfo::arguments() const {
    std::lock_guard lock(state().mutex);
    if (!state().arguments.empty()) return state().arguments;
    // Not set by the entry point: the kernel still knows the command line.
    std::vector<std::string> args;
    if (auto raw = paths::readFile("/proc/self/cmdline")) {
        std::string current;
        for (char c : *raw) {
            if (c == '\0') {
                args.push_back(std::move(current));
                current.clear();
            } else {
                current += c;
            }
        }
        if (!current.empty()) args.push_back(std::move(current));
    }
    return args;
}

void ProcessInfo::setArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(state().mutex);
    state().arguments = std::move(arguments);
}

std::map<std::string, std::string> ProcessInfo::environment() const {
    std::map<std::string, std::string> result;
    for (char** e = environ; e && *e; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (eq == std::string::npos) continue;
        result.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return result;
}

std::optional<std::string> ProcessInfo::environmentValue(const std::string& name) const {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string ProcessInfo::hostName() const {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

std::string ProcessInfo::processName() const {
    if (auto comm = paths::readFile("/proc/self/comm")) {
        while (!comm->empty() && (comm->back() == '\n' || comm->back() == '\r'))
            comm->pop_back();
        if (!comm->empty()) return *comm;
    }
    auto args = arguments();
    if (!args.empty()) return std::filesystem::path(args.front()).filename().string();
    return "velmora";
}

int ProcessInfo::processIdentifier() const {
    return static_cast<int>(::getpid());
}

OperatingSystemVersion ProcessInfo::operatingSystemVersion() const {
    {
        std::lock_guard lock(state().mutex);
        if (state().versionOverride) return *state().versionOverride;
    }
    if (auto id = osReleaseValue("VERSION_ID"))
        if (auto v = parseVersion(*id)) return *v;
    if (auto v = parseVersion(unameRelease())) return *v;
    return {};
}

std::string ProcessInfo::operatingSystemVersionString() const {
    std::string name = osReleaseValue("NAME").value_or("Linux");
    OperatingSystemVersion v = operatingSystemVersion();
    std::string text = "Version " + std::to_string(v.majorVersion) + "." + std::to_string(v.minorVersion);
    if (v.patchVersion != 0) text += "." + std::to_string(v.patchVersion);
    return name + " " + text + " (Build " + unameRelease() + ")";
}

std::string ProcessInfo::operatingSystemPrettyName() const {
    if (auto pretty = osReleaseValue("PRETTY_NAME"); pretty && !pretty->empty()) return *pretty;
    if (auto name = osReleaseValue("NAME"); name && !name->empty()) {
        const auto version = osReleaseValue("VERSION_ID");
        return version && !version->empty() ? *name + " " + *version : *name;
    }
    const std::string release = unameRelease();
    return release.empty() ? "Linux" : "Linux " + release;
}

void ProcessInfo::setOSReleasePathForTesting(std::optional<std::filesystem::path> path) {
    std::lock_guard lock(state().mutex);
    state().osReleasePath = std::move(path);
}

bool ProcessInfo::isOperatingSystemAtLeastVersion(OperatingSystemVersion version) const {
    return operatingSystemVersion() >= version;
}

void ProcessInfo::overrideOperatingSystemVersion(std::optional<OperatingSystemVersion> version) {
    std::lock_guard lock(state().mutex);
    state().versionOverride = version;
}

std::optional<OperatingSystemVersion> ProcessInfo::parseVersion(const std::string& text) {
    // Reads up to three dot-separated numbers; anything after them ("-amd64", "~rc1") is ignored.
    int parts[3] = {0, 0, 0};
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) {
            if (i == 0) return std::nullopt;
            break;
        }
        long long value = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            value = value * 10 + (text[pos] - '0');
            if (value > INT_MAX) value = INT_MAX; // saturate rather than overflow on hostile input
            ++pos;
        }
        parts[i] = static_cast<int>(value);
        if (pos + 1 < text.size() && text[pos] == '.' &&
            std::isdigit(static_cast<unsigned char>(text[pos + 1])))
            ++pos;
        else
            break;
    }
    return OperatingSystemVersion{parts[0], parts[1], parts[2]};
}

} // namespace plat
