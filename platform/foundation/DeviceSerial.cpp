#include "platform/foundation/DeviceSerial.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

namespace plat {

namespace {

std::string trimmed(std::string_view text) {
    auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\0'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// A file's trimmed contents; none when it cannot be read (the DMI serial is root-only on most
// systems) or is empty.
std::optional<std::string> readValue(const std::filesystem::path& path) {
    auto contents = paths::readFile(path);
    if (!contents) return std::nullopt;
    std::string value = trimmed(*contents);
    if (value.empty()) return std::nullopt;
    return value;
}

} // namespace

bool DeviceSerial::isPlaceholder(std::string_view serial) {
    std::string value = text::asciiLowercased(trimmed(serial));
    if (value.empty()) return true;
    static constexpr std::array<std::string_view, 14> known = {"to be filled by o.e.m.",
                                                               "to be filled by oem",
                                                               "default string",
                                                               "system serial number",
                                                               "not specified",
                                                               "not applicable",
                                                               "not available",
                                                               "none",
                                                               "n/a",
                                                               "na",
                                                               "unknown",
                                                               "0123456789",
                                                               "123456789",
                                                               "serial number"};
    if (std::find(known.begin(), known.end(), value) != known.end()) return true;
    // "0", "00000000", "XXXXXXXX", "........": one character repeated.
    return std::all_of(value.begin(), value.end(), [&](char c) { return c == value.front(); });
}

std::optional<std::string> DeviceSerial::read(const Sources& sources) {
    if (sources.environmentValue) return sources.environmentValue;
    if (auto serial = readValue(sources.productSerial); serial && !isPlaceholder(*serial)) return serial;
    if (auto machineId = readValue(sources.machineId); machineId && !isPlaceholder(*machineId))
        return machineId;
    return std::nullopt;
}

std::optional<std::string> DeviceSerial::current() {
    Sources sources;
    if (const char* value = std::getenv("VELMORA_SERIAL_NUMBER"))
        sources.environmentValue = std::string(value);
    return read(sources);
}

} // namespace plat
