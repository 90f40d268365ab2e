#include "platform/foundation/SystemFacts.h"

#include <fstream>
#include <sys/utsname.h>

namespace plat {
namespace {

constexpr size_t kMaxModelLength = 128;

std::optional<std::string> firstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    return line;
}

bool validSysctlName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.back() == '.') return false;
    char previous = '\0';
    for (char c : name) {
        bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-';
        if (!word && c != '.') return false;
        if (c == '.' && previous == '.') return false;
        previous = c;
    }
    return true;
}

std::optional<std::string> nonEmpty(std::string value) {
    if (value.empty()) return std::nullopt;
    return value;
}

} // namespace

std::string SystemFacts::safeModelName(std::string_view raw) {
    std::string out;
    bool pendingBlank = false;
    for (unsigned char c : raw) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            pendingBlank = !out.empty();
            continue;
        }
        if (c < 0x20 || c == 0x7f) continue;
        if (pendingBlank) out += '_';
        pendingBlank = false;
        out += static_cast<char>(c);
        if (out.size() >= kMaxModelLength) break;
    }
    return out;
}

std::optional<std::string> SystemFacts::hardwareModel(const std::filesystem::path& dmiDir) {
    for (const char* file : {"product_name", "board_name"}) {
        if (auto line = firstLine(dmiDir / file)) {
            std::string safe = safeModelName(*line);
            if (!safe.empty()) return safe;
        }
    }
    return std::nullopt;
}

std::string SystemFacts::machine() {
    struct utsname name {};
    if (uname(&name) != 0) return {};
    return name.machine;
}

std::optional<std::string> SystemFacts::cpuBrand(const std::filesystem::path& cpuinfo) {
    std::ifstream in(cpuinfo);
    std::string line;
    std::optional<std::string> fallback;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        size_t valueStart = colon + 1;
        while (valueStart < line.size() && line[valueStart] == ' ')
            ++valueStart;
        std::string value = line.substr(valueStart);
        if (value.empty()) continue;
        if (key == "model name") return value;
        if (!fallback && (key == "Hardware" || key == "cpu model")) fallback = std::move(value);
    }
    return fallback;
}

std::optional<std::string> SystemFacts::sysctlEntry(std::string_view name) {
    if (name == "hw.model") return hardwareModel();
    if (name == "machdep.cpu.brand_string") return cpuBrand();
    struct utsname uts {};
    bool haveUname = uname(&uts) == 0;
    if (name == "hw.machine") return haveUname ? nonEmpty(uts.machine) : std::nullopt;
    if (name == "kern.ostype") return haveUname ? nonEmpty(uts.sysname) : std::nullopt;
    if (name == "kern.osrelease") return haveUname ? nonEmpty(uts.release) : std::nullopt;
    if (name == "kern.osversion") return haveUname ? nonEmpty(uts.version) : std::nullopt;
    if (name == "kern.hostname") return haveUname ? nonEmpty(uts.nodename) : std::nullopt;
    if (!validSysctlName(name)) return std::nullopt;
    std::string relative(name);
    for (char& c : relative)
        if (c == '.') c = '/';
    auto line = firstLine(std::filesystem::path("/proc/sys") / relative);
    if (!line) return std::nullopt;
    return nonEmpty(std::move(*line));
}

} // namespace plat
