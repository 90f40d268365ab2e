// The crash reporter's own small key-value store: a property list in the application-support folder
// (<app support>/<bundle id>/com.crashwatch/CRWUserDefaults.plist), kept in memory and written back
// only by an explicit synchronize() when something changed. It holds the data-collection switch and
// the install identifiers.
//
// Every access to the two dictionaries (the working one and the copy last read from or written to
// the file) runs on a serial access queue, every file operation on a serial I/O queue, both with
// synchronous dispatch; they are never nested I/O-then-access, so callers on any thread are safe.
// The persisted copy changes only after a write succeeded, so a synchronize() after a failed one
// tries again.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Keys of the crash reporter.
inline constexpr const char* CRWDataCollectionKey = "com.crashwatch.data_collection";
inline constexpr const char* CRWInstallUUIDKey = "com.crashwatch.iuuid";
inline constexpr const char* CRWInstallationIDHashKey = "com.crashwatch.install.iid";
inline constexpr const char* CRWLegacyInstallIDKey = "com.crashwatch.install.adid";

class CRWUserDefaults {
public:
    // The shared store, made on first use and never destroyed.
    static CRWUserDefaults& standardUserDefaults();
    // Test hook: the next standardUserDefaults() reads the file again (the old instance stays valid).
    static void resetStandardUserDefaultsForTesting();

    // A store in `directory`; loads the file at once.
    explicit CRWUserDefaults(std::filesystem::path directory);
    CRWUserDefaults(const CRWUserDefaults&) = delete;
    CRWUserDefaults& operator=(const CRWUserDefaults&) = delete;

    // <application support>/<escaped bundle identifier>/com.crashwatch; the middle folder is left
    // out when there is no bundle identifier.
    static std::filesystem::path defaultDirectory();
    const std::filesystem::path& directoryURL() const { return directoryURL_; }
    const std::filesystem::path& fileURL() const { return fileURL_; }

    // Absent when not set.
    plat::Object objectForKey(const std::string& key) const;
    // The value when it is text, else none.
    std::optional<std::string> stringForKey(const std::string& key) const;
    // The value's boolean / integer when it is a number, else false / 0.
    bool boolForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;

    // An absent or null value removes the key. A value a property list cannot carry is refused
    // (logged), so the store always stays writable.
    void setObject(const plat::Object& value, const std::string& key);
    void setString(const std::optional<std::string>& value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void setInteger(int64_t value, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();
    // A copy of the working dictionary.
    plat::Object::Dict dictionaryRepresentation() const;

    // Moves the values of `keys` from the application's standard defaults into this store (each one
    // removed there once it is here); nothing in the program calls these.
    void migrateFromNSUserDefaults(const std::vector<std::string>& keys);
    // The value of `key` here, or else the standard defaults' value moved here first.
    plat::Object objectForKeyByMigratingFromNSUserDefaults(const std::string& key);

    // Writes the working dictionary when it differs from the persisted copy.
    void synchronize();
    // Whether the last synchronize() found changes and wrote them.
    bool synchronizeWroteToDisk() const;
    // Why the file found at load was left aside unread: something there is not the user's own (a
    // link, another user's file or folder, a socket); none when it was not.
    const std::optional<std::string>& refusal() const { return refusal_; }

private:
    void load();
    bool write(const plat::Object::Dict& dictionary) const;

    std::filesystem::path directoryURL_;
    std::filesystem::path fileURL_;
    std::optional<std::string> refusal_;
    plat::DispatchQueue serialDictionaryQueue_;
    plat::DispatchQueue synchronizationQueue_;
    // Guarded by serialDictionaryQueue_.
    bool synchronizeWroteToDisk_ = false;
    plat::Object::Dict persistedDataDictionary_;
    plat::Object::Dict dataDictionary_;
};
