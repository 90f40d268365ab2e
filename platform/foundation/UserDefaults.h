// Persistent settings: one property-list file per domain under paths::configDir(), read once and
// written (atomically) after each change. Values keep their type: a stored boolean reads back as a
// boolean, not as the integer 1. Thread-safe.
#pragma once

#include "platform/object/Object.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {

class UserDefaults {
public:
    // The application's domain ("io.velmora.mac"); never destroyed.
    static UserDefaults& standard();
    // A named suite, stored in "<suite>.plist"; one instance per name per process.
    static std::shared_ptr<UserDefaults> suite(const std::string& name);
    // Kept only in memory; nothing touches the disk.
    static std::shared_ptr<UserDefaults> inMemory();
    // Test hook: forget every cached domain so the next access rereads the files.
    static void resetForTesting();

    Object object(const std::string& key) const; // absent when not set
    void set(const std::string& key, Object value);
    void remove(const std::string& key);
    Object::Dict dictionaryRepresentation() const;

    // Typed reads with the platform's conversions: bool from numbers and the strings "YES"/"true"/
    // "1"; integers and doubles from numbers and numeric strings; 0/false/empty when unset.
    std::string string(const std::string& key) const;
    std::optional<std::string> stringIfSet(const std::string& key) const;
    bool boolean(const std::string& key) const;
    int64_t integer(const std::string& key) const;
    double doubleValue(const std::string& key) const;
    // Registered values answer reads of keys that were never set; they are not written.
    void registerDefaults(Object::Dict defaults);

    // Called after every change made through this object, with the key that changed (on the
    // thread that made the change). Returns a token; destroy it to stop listening.
    using Token = std::shared_ptr<void>;
    Token observe(std::function<void(const std::string& key)> onChange);

    // Writes pending changes now; true on success. Changes are written as they are made, so this
    // only reports the last write's outcome.
    bool synchronize();

    // Why the domain's file was not read: another user's file, one that others may write, a link
    // (paths::readOwnFile), or a file that could not be read. While refused the store starts empty
    // and writes nothing, so the file is left as it was; changes live in memory only and
    // synchronize() answers false.
    std::optional<std::string> refusal() const;

    std::string domain() const;
    struct Impl;
    explicit UserDefaults(std::unique_ptr<Impl> impl);
    ~UserDefaults();

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace plat
