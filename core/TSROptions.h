// The configuration record of one configured app: the identifiers and keys with which the library
// components talk to their backends, held as the dictionary of the options file "TesseraOptions.plist".
// A record is editable until an app takes it and locks it; from then on every setter raises
// TSRException("com.tessera.core"). A record has no lock: fill it before handing it to an app and
// only read it afterwards (the cached analytics options are the one lazily built part; they are guarded).
#pragma once

#include "platform/object/Object.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

inline constexpr const char* kTSRDefaultOptionsResourceName = "TesseraOptions";
inline constexpr const char* kTSROptionsFileType = "plist";

class TSROptions {
public:
    using Dict = plat::Object::Dict;
    using OptionalString = std::optional<std::string>;

    // The record of the bundle's options file, read once per process; null when no relevant
    // bundle has the file (I-COR000012) or it is not a dictionary (I-COR000011).
    static std::shared_ptr<TSROptions> defaultOptions();
    static std::optional<Dict> defaultOptionsDictionary();
    // "<name>.plist" in the relevant bundles.
    static OptionalString plistFilePathWithName(const std::string& fileName);
    // Forgets the default record and dictionary; the next request reads the file again.
    static void resetDefaultOptions();

    // A record over a copy of `dictionary`, marked as read from the default file.
    static std::shared_ptr<TSROptions> initInternalWithOptionsDictionary(Dict dictionary);
    // A record over the dictionary of the property list at `path`; null (logged) when the path is
    // missing (I-COR000013) or the file does not read as a dictionary (I-COR000014).
    static std::shared_ptr<TSROptions> initWithContentsOfFile(const OptionalString& path);
    // A record of the two ids, with "BUNDLE_ID" set to the main bundle's identifier.
    static std::shared_ptr<TSROptions> initWithTesseraAppID(const std::string& tesseraAppID,
                                                            const std::string& senderID);

    // Key-backed fields: the entry when it is a string, else none. Setters store the value (none
    // removes the entry) unless the record is locked.
    OptionalString APIKey() const { return stringForKey("API_KEY"); }
    void setAPIKey(OptionalString v) { setString("API_KEY", std::move(v)); }
    OptionalString metricsID() const { return stringForKey("METRICS_ID"); }
    void setMetricsID(OptionalString v) { setString("METRICS_ID", std::move(v)); }
    OptionalString tesseraAppID() const { return stringForKey("TESSERA_APP_ID"); }
    void setTesseraAppID(OptionalString v) { setString("TESSERA_APP_ID", std::move(v)); }
    OptionalString clientID() const { return stringForKey("CLIENT_ID"); }
    void setClientID(OptionalString v) { setString("CLIENT_ID", std::move(v)); }
    OptionalString senderID() const { return stringForKey("SENDER_ID"); }
    void setSenderID(OptionalString v) { setString("SENDER_ID", std::move(v)); }
    OptionalString altClientID() const { return stringForKey("ALT_CLIENT_ID"); }
    void setAltClientID(OptionalString v) { setString("ALT_CLIENT_ID", std::move(v)); }
    OptionalString dataURL() const { return stringForKey("DATA_URL"); }
    void setDataURL(OptionalString v) { setString("DATA_URL", std::move(v)); }
    OptionalString storageArea() const { return stringForKey("STORAGE_AREA"); }
    void setStorageArea(OptionalString v) { setString("STORAGE_AREA", std::move(v)); }
    OptionalString bundleID() const { return stringForKey("BUNDLE_ID"); }
    void setBundleID(OptionalString v) { setString("BUNDLE_ID", std::move(v)); }
    OptionalString projectID() const { return stringForKey("PROJECT_ID"); }
    void setProjectID(OptionalString v) { setString("PROJECT_ID", std::move(v)); }

    const OptionalString& deepLinkURLScheme() const { return deepLinkURLScheme_; }
    void setDeepLinkURLScheme(OptionalString scheme);
    const OptionalString& appGroupID() const { return appGroupID_; }
    void setAppGroupID(OptionalString appGroupID);

    const Dict& optionsDictionary() const { return optionsDictionary_; }
    bool usingOptionsFromDefaultPlist() const { return usingOptionsFromDefaultPlist_; }
    bool editingLocked() const { return editingLocked_; }
    void setEditingLocked(bool locked) { editingLocked_ = locked; }

    // The core version as nine digits: "3.2.0" -> "030200000".
    static const std::string& libraryVersionID();

    // A new unlocked-then-relocked record with the same dictionary, extra fields, lock and mark.
    std::shared_ptr<TSROptions> copy() const;
    bool isEqualToOptions(const TSROptions& other) const;
    bool operator==(const TSROptions& other) const { return isEqualToOptions(other); }
    size_t hash() const;

    // The three analytics keys, each from the information dictionary first and the options second.
    Dict analyticsOptionsDictionary() const;
    Dict analyticsOptionsDictionaryWithInfoDictionary(const Dict& infoDictionary) const;
    // The analytics switches. Where no analytics key decides, measurement follows
    // `dataCollectionDefaultEnabled`: the caller passes the default app's data-collection switch
    // (false while no default app is configured), so a record never reaches for the app that owns it.
    bool isMeasurementEnabled(bool dataCollectionDefaultEnabled) const;
    bool isAnalyticsCollectionEnabled(bool dataCollectionDefaultEnabled) const;
    bool isAnalyticsCollectionExplicitlySet() const;
    bool isAnalyticsCollectionDeactivated() const;

    TSROptions(const TSROptions&) = delete;
    TSROptions& operator=(const TSROptions&) = delete;

private:
    TSROptions(Dict dictionary, bool fromDefaultPlist)
        : optionsDictionary_(std::move(dictionary)), usingOptionsFromDefaultPlist_(fromDefaultPlist) {}

    OptionalString stringForKey(const char* key) const;
    void setString(const char* key, OptionalString value);
    void checkEditingLocked() const;

    Dict optionsDictionary_;
    OptionalString deepLinkURLScheme_;
    OptionalString appGroupID_;
    bool usingOptionsFromDefaultPlist_ = false;
    bool editingLocked_ = false;
    mutable std::mutex analyticsLock_;
    mutable std::optional<Dict> analyticsOptionsDictionary_;
};
