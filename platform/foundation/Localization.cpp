#include "platform/foundation/Localization.h"

#include "platform/log/OSLog.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace plat {

namespace fs = std::filesystem;

namespace {

fs::path tablesFolder() {
    return Bundle::main().resourcePath() / "strings";
}

bool hasTable(const std::string& language) {
    if (language.empty() || language.find('/') != std::string::npos || language.front() == '.') return false;
    std::error_code ec;
    return fs::is_regular_file(tablesFolder() / (language + ".json"), ec);
}

// "es-MX" and "es_MX.UTF-8" both give "es".
std::string languagePart(const std::string& tag) {
    const size_t end = tag.find_first_of("-_.@");
    return tag.substr(0, end);
}

// The first candidate that has a table: the tag itself, then its language part.
std::optional<std::string> tableFor(const std::string& tag) {
    std::string exact = tag;
    if (const size_t dot = exact.find_first_of(".@"); dot != std::string::npos) exact.resize(dot);
    for (char& c : exact)
        if (c == '_') c = '-';
    if (hasTable(exact)) return exact;
    const std::string part = languagePart(tag);
    if (hasTable(part)) return part;
    return std::nullopt;
}

std::vector<std::string> systemLanguages() {
    std::vector<std::string> out;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string s = list;
        for (size_t start = 0; start <= s.size();) {
            const size_t colon = s.find(':', start);
            out.push_back(s.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(name); v && *v) {
            out.emplace_back(v);
            break;
        }
    }
    return out;
}

} // namespace

Localization& Localization::shared() {
    static Localization* l = new Localization();
    return *l;
}

void Localization::load() {
    if (loaded_) return;
    loaded_ = true;
    language_.clear();
    table_.clear();
    std::vector<std::string> candidates;
    if (const Object::Array* preferred = UserDefaults::standard().object("AppleLanguages").asArray()) {
        for (const Object& o : *preferred)
            if (o.isString()) candidates.push_back(o.string());
    }
    for (std::string& s : systemLanguages())
        candidates.push_back(std::move(s));
    for (const std::string& tag : candidates) {
        if (tag == "C" || tag == "POSIX") continue;
        if (auto found = tableFor(tag)) {
            language_ = *found;
            break;
        }
    }
    if (language_.empty()) language_ = "en";
    std::ifstream in(tablesFolder() / (language_ + ".json"), std::ios::binary);
    if (!in) return; // no table: every key shows as itself
    nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
    if (!json.is_object()) {
        OSLog("io.velmora.mac", "localization")
            .error("strings table " + language_ + ".json is not a JSON object");
        return;
    }
    for (const auto& [key, value] : json.items()) {
        if (value.is_string()) table_[key] = value.get<std::string>();
    }
}

std::string Localization::language() {
    std::lock_guard lock(mutex_);
    load();
    return language_;
}

std::string Localization::string(const std::string& key) {
    std::lock_guard lock(mutex_);
    load();
    auto it = table_.find(key);
    return it == table_.end() ? key : it->second;
}

std::string Localization::format(const std::string& key, const std::vector<std::string>& args) {
    return fillPlaceholders(string(key), args);
}

std::vector<std::string> Localization::availableLanguages() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(tablesFolder(), ec)) {
        if (entry.path().extension() == ".json") out.push_back(entry.path().stem().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

void Localization::resetForTesting() {
    std::lock_guard lock(mutex_);
    loaded_ = false;
}

std::string fillPlaceholders(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0; // the argument the next plain "%@" takes
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        if (text[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (text[i + 1] == '@') {
            if (next < args.size()) out += args[next];
            ++next;
            ++i;
        } else if (size_t j = i + 1; std::isdigit(static_cast<unsigned char>(text[j]))) {
            size_t n = 0;
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
                n = n * 10 + static_cast<size_t>(text[j++] - '0');
            if (j + 1 < text.size() && text[j] == '$' && text[j + 1] == '@' && n >= 1) {
                if (n <= args.size()) out += args[n - 1];
                i = j + 1;
            } else {
                out += text[i];
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace plat
