#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/log/OSLog.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace plat {
namespace {

constexpr const char* kStandardDomain = "io.velmora.mac";

const OSLog& log() {
    static const OSLog* l = new OSLog("io.velmora.mac", "UserDefaults");
    return *l;
}

// A domain becomes a file name: nothing that could leave the config folder or hide the file.
bool isSafeDomain(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.front() != '.' &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos && name.size() <= 200;
}

// A key as a log line can show it: bytes outside printable ASCII of a key that is not valid text
// are spelled \xNN.
std::string printableKey(const std::string& key) {
    if (PropertyList::isValidText(key)) return key;
    std::string out;
    for (unsigned char c : key) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::optional<double> parseNumber(const std::string& text) {
    std::string s = text;
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    size_t start = 0;
    while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start])))
        ++start;
    if (start == s.size()) return std::nullopt;
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data() + start, s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<int64_t> parseInteger(const std::string& text) {
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && ptr == text.data() + text.size()) return v;
    if (auto d = parseNumber(text)) return saturatingInt64(*d);
    return std::nullopt;
}

struct Observers {
    std::mutex mutex;
    uint64_t nextId = 1;
    std::vector<std::pair<uint64_t, std::shared_ptr<std::function<void(const std::string&)>>>> list;

    bool contains(uint64_t id) {
        std::lock_guard lock(mutex);
        return std::any_of(list.begin(), list.end(), [&](const auto& e) { return e.first == id; });
    }
};

} // namespace

struct UserDefaults::Impl {
    std::string domain;
    bool persistent = true;

    mutable std::mutex mutex;
    bool loaded = false;
    fs::path file;
    Object::Dict values;
    Object::Dict registered;
    bool lastWriteOk = true;
    std::optional<std::string> refusal; // why the file was not read; nothing is written while set
    std::shared_ptr<Observers> observers = std::make_shared<Observers>();

    // Reads the domain's file once; callers hold `mutex`.
    void ensureLoaded() {
        if (loaded) return;
        loaded = true;
        values.clear();
        if (!persistent) return;
        file = paths::configDir() / (domain + ".plist");
        // Interrupted writes (a killed process) leave temporary files that nothing else removes.
        paths::removeStaleTemporaryFiles(file.parent_path());
        paths::OwnFile read = paths::readOwnFile(file);
        switch (read.state) {
        case paths::OwnFile::State::Absent:
            return;
        case paths::OwnFile::State::Refused:
            // Another user's settings are neither used nor replaced: the file stays for its owner.
            refusal = read.problem;
            log().error(read.problem + "; the settings of " + domain + " were not read and are not written");
            return;
        case paths::OwnFile::State::Unreadable:
            // What could not be read is not written over either: it may be the user's settings.
            refusal = read.problem;
            log().error(read.problem + "; starting with empty defaults, which are not written");
            return;
        case paths::OwnFile::State::TooLarge:
        case paths::OwnFile::State::Read:
            break;
        }
        Error error;
        Object root = read.state == paths::OwnFile::State::Read ? PropertyList::fromBytes(read.bytes, &error)
                                                                : Object();
        if (root.isDict()) {
            values = root.dict();
            return;
        }
        std::string reason = read.state == paths::OwnFile::State::TooLarge ? read.problem
                             : root.isAbsent()
                                 ? error.localizedDescription()
                                 : std::string("the top level is ") + Object::kindName(root.kind()) +
                                       ", not a dictionary";
        auto aside = paths::moveAside(file);
        log().error("Defaults file " + file.string() + " is damaged (" + reason + "); " +
                    (aside ? "moved it to " + aside->string() : std::string("could not move it aside")) +
                    " and started with empty defaults for " + domain);
    }

    // Writes the whole domain; callers hold `mutex` so the file always matches the latest change.
    void persist() {
        if (!persistent) return;
        if (refusal) {
            lastWriteOk = false;
            return;
        }
        Error error;
        auto bytes = PropertyList::toBinary(Object(values), &error);
        // 0600: settings can describe the user's account and connection habits.
        lastWriteOk = bytes && paths::ensureDirectory(file.parent_path()) &&
                      paths::writeFileAtomically(file, *bytes, fs::perms(0600));
        if (!lastWriteOk) log().error("Could not write defaults file " + file.string());
    }

    void notify(const std::string& key) {
        std::vector<std::pair<uint64_t, std::shared_ptr<std::function<void(const std::string&)>>>> snapshot;
        {
            std::lock_guard lock(observers->mutex);
            snapshot = observers->list;
        }
        for (auto& [id, fn] : snapshot)
            if (observers->contains(id)) (*fn)(key);
    }

    void reset() {
        std::lock_guard lock(mutex);
        loaded = false;
        values.clear();
        registered.clear();
        lastWriteOk = true;
        refusal.reset();
    }
};

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<UserDefaults>> suites;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

std::shared_ptr<UserDefaults> makeDefaults(std::string domain, bool persistent) {
    auto impl = std::make_unique<UserDefaults::Impl>();
    impl->domain = std::move(domain);
    impl->persistent = persistent;
    return std::make_shared<UserDefaults>(std::move(impl));
}

const std::shared_ptr<UserDefaults>& standardHandle() {
    static auto* standard = new std::shared_ptr<UserDefaults>(makeDefaults(kStandardDomain, true));
    return *standard;
}

} // namespace

UserDefaults::UserDefaults(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard() {
    return *standardHandle();
}

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& name) {
    // The application's own domain is one store, whichever way it is reached.
    if (name == kStandardDomain) return standardHandle();
    if (!isSafeDomain(name)) {
        log().error("Refused defaults suite name \"" + name + "\"; its values are kept in memory only");
        return makeDefaults(name, false);
    }
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto& slot = r.suites[name];
    if (!slot) slot = makeDefaults(name, true);
    return slot;
}

std::shared_ptr<UserDefaults> UserDefaults::inMemory() {
    return makeDefaults("in-memory", false);
}

void UserDefaults::resetForTesting() {
    standard().impl_->reset();
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    // Handles still held elsewhere reread too, so a test never sees another test's values.
    for (auto& [name, defaults] : r.suites)
        defaults->impl_->reset();
    r.suites.clear();
}

Object UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(impl_->mutex);
    impl_->ensureLoaded();
    if (auto it = impl_->values.find(key); it != impl_->values.end()) return it->second;
    if (auto it = impl_->registered.find(key); it != impl_->registered.end()) return it->second;
    return {};
}

void UserDefaults::set(const std::string& key, Object value) {
    // Anything the file cannot carry is refused here: stored, it would make every later write of
    // the domain fail, and the file on disk would stop following the changes.
    std::string reason;
    if (!PropertyList::isValidText(key)) {
        reason = "the key holds a NUL or malformed UTF-8";
    } else if (value.isAbsent() || value.isNull() || !PropertyList::isValid(value, &reason)) {
        if (reason.empty()) reason = std::string(Object::kindName(value.kind())) + " value";
    }
    if (!reason.empty()) {
        log().error("Refused to store a value for key \"" + printableKey(key) + "\" in " + impl_->domain +
                    ": " + reason);
        return;
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->ensureLoaded();
        impl_->values.insert_or_assign(key, std::move(value));
        impl_->persist();
    }
    impl_->notify(key);
}

void UserDefaults::remove(const std::string& key) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->ensureLoaded();
        if (impl_->values.erase(key) == 0) return;
        impl_->persist();
    }
    impl_->notify(key);
}

Object::Dict UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(impl_->mutex);
    impl_->ensureLoaded();
    Object::Dict merged = impl_->registered;
    for (const auto& [key, value] : impl_->values)
        merged.insert_or_assign(key, value);
    return merged;
}

std::optional<std::string> UserDefaults::stringIfSet(const std::string& key) const {
    Object value = object(key);
    if (value.isString()) return value.string();
    if (value.isNumber()) return value.number().stringValue();
    return std::nullopt;
}

std::string UserDefaults::string(const std::string& key) const {
    return stringIfSet(key).value_or("");
}

bool UserDefaults::boolean(const std::string& key) const {
    Object value = object(key);
    if (value.isNumber()) return value.number().boolValue();
    if (!value.isString()) return false;
    const std::string s = text::asciiLowercased(value.string());
    if (s == "yes" || s == "true") return true;
    auto n = parseNumber(s);
    return n && *n != 0;
}

int64_t UserDefaults::integer(const std::string& key) const {
    Object value = object(key);
    if (value.isNumber()) return value.number().int64Value();
    if (value.isString()) return parseInteger(value.string()).value_or(0);
    return 0;
}

double UserDefaults::doubleValue(const std::string& key) const {
    Object value = object(key);
    if (value.isNumber()) return value.number().doubleValue();
    if (value.isString()) return parseNumber(value.string()).value_or(0);
    return 0;
}

void UserDefaults::registerDefaults(Object::Dict defaults) {
    std::lock_guard lock(impl_->mutex);
    for (auto& [key, value] : defaults)
        impl_->registered.insert_or_assign(key, std::move(value));
}

UserDefaults::Token UserDefaults::observe(std::function<void(const std::string& key)> onChange) {
    auto observers = impl_->observers;
    uint64_t id = 0;
    {
        std::lock_guard lock(observers->mutex);
        id = observers->nextId++;
        observers->list.emplace_back(
            id, std::make_shared<std::function<void(const std::string&)>>(std::move(onChange)));
    }
    // The token does not keep the defaults alive; a suite that is gone has nothing to remove.
    struct Registration {
        // Spelled out: clang 14 cannot make_shared an aggregate from parentheses.
        Registration(std::weak_ptr<Observers> o, uint64_t i) : observers(std::move(o)), id(i) {}
        std::weak_ptr<Observers> observers;
        uint64_t id;
        ~Registration() {
            if (auto o = observers.lock()) {
                std::lock_guard lock(o->mutex);
                std::erase_if(o->list, [this](const auto& e) { return e.first == id; });
            }
        }
    };
    return std::make_shared<Registration>(std::weak_ptr<Observers>(observers), id);
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(impl_->mutex);
    impl_->ensureLoaded();
    return impl_->lastWriteOk;
}

std::optional<std::string> UserDefaults::refusal() const {
    std::lock_guard lock(impl_->mutex);
    impl_->ensureLoaded();
    return impl_->refusal;
}

std::string UserDefaults::domain() const {
    return impl_->domain;
}

} // namespace plat
