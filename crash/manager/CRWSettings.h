// The crash reporter's remote settings as last cached: "settings.json" (the service's document as
// received) and "cache-key.json" (the app id, build and version it was fetched for, and when).
// Answers typed values with their defaults when no document is loaded or a key is absent, and
// decides whether the cache has expired. A damaged cache is deleted, never trusted; a file that is
// not the user's own, that others may write, or a link (paths::readOwnFile) is left aside: not
// read, and neither replaced nor removed. Thread-safe: the document and the expiry flag are
// guarded by the object's lock.
#pragma once

#include "crash/manager/CRWApplicationIdentifierModel.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CRWSettings {
public:
    // The two files live in `settingsDirectoryPath` (the file manager's settings folder).
    CRWSettings(std::string settingsDirectoryPath, std::shared_ptr<CRWApplicationIdentifierModel> appIDModel);

    const std::string& settingsDirectoryPath() const { return settingsDirectoryPath_; }
    std::string settingsFilePath() const;
    std::string cacheKeyPath() const;

    // Loads the cached document for `tesseraAppID`; `currentTimestamp` is seconds since
    // 2001-01-01. An unreadable document, a missing key or another app id deletes the cache.
    // Temporary files of killed writes in the folder go first (paths::removeStaleTemporaryFiles).
    void reloadFromCacheWithTesseraAppID(const std::string& tesseraAppID, double currentTimestamp);
    // Writes the cache key for a document just stored as "settings.json", then loads it.
    void cacheSettingsWithTesseraAppID(const std::string& tesseraAppID, double currentTimestamp);
    // True without a document; otherwise whether the loaded cache key has expired.
    bool isCacheExpired() const;
    // Removes both files (in the background) and drops the document at once.
    void deleteCachedSettings();
    // The cache key's dictionary; none when absent or not a JSON object.
    std::optional<plat::Object::Dict> loadCacheKey() const;
    // Makes `data` the document when it parses as a JSON object; false (document unchanged) when not.
    bool loadSettingsData(std::string_view data);

    plat::Object appSettings() const;
    plat::Object sessionSettings() const;
    plat::Object featuresSettings() const;
    plat::Object legacySettings() const;

    uint32_t cacheDurationSeconds() const;
    bool errorReportingEnabled() const;
    bool customExceptionsEnabled() const { return errorReportingEnabled(); }
    bool collectReportsEnabled() const;
    bool metricKitCollectionEnabled() const;
    uint32_t logBufferSize() const;
    uint32_t errorLogBufferSize() const { return logBufferSize(); }
    uint32_t maxCustomExceptions() const;
    uint32_t maxCustomKeys() const;
    double onDemandUploadRate() const;
    double onDemandBackoffBase() const;
    uint32_t onDemandBackoffStepDuration() const;

    const std::shared_ptr<CRWApplicationIdentifierModel>& appIDModelForTesting() const { return appIDModel_; }
    // Seconds since 2001-01-01 now.
    static double currentTimestamp();

private:
    std::optional<plat::Object::Dict> settingsDictionary() const;
    plat::Object section(const char* name) const;

    std::string settingsDirectoryPath_;
    std::shared_ptr<CRWApplicationIdentifierModel> appIDModel_;
    mutable std::mutex lock_;
    bool isCacheKeyExpired_ = false;
    std::optional<plat::Object::Dict> settingsDictionary_;
};

// How the settings read a value the document holds: numbers as they are, strings by their leading
// number or their boolean reading, anything else (null, arrays, objects) as absent.
std::optional<double> CRWSettingsNumber(const plat::Object& value);
std::optional<bool> CRWSettingsBool(const plat::Object& value);
