// Why a settings download failed, each case with a text.
#pragma once

#include <string>

struct SettingsDownloaderError {
    enum class Kind { URLError, URLSessionError, JSONParseError, InstallationIDError };
    Kind kind;
    std::string text;

    // The printed form: the case name and its text, as `URLError("Invalid URL")`.
    std::string description() const {
        static constexpr const char* names[] = {"URLError", "URLSessionError", "JSONParseError",
                                                "InstallationIDError"};
        return std::string(names[static_cast<int>(kind)]) + "(\"" + text + "\")";
    }
    bool operator==(const SettingsDownloaderError&) const = default;
};
