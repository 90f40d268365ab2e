#include "crash/manager/CRWSettings.h"

#include "crash/record/CRWSharedLog.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char* kSettingsFileName = "settings.json";
constexpr const char* kCacheKeyFileName = "cache-key.json";

// Clamps like a platform unsigned 32-bit reading, without undefined conversions for hostile values.
uint32_t toUInt32(double value) {
    if (std::isnan(value) || value <= 0) return 0;
    if (value >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

uint32_t uintValue(const plat::Object& container, const char* key, uint32_t fallback) {
    std::optional<double> number = CRWSettingsNumber(container[key]);
    return number ? toUInt32(*number) : fallback;
}

double doubleValue(const plat::Object& container, const char* key, double fallback) {
    std::optional<double> number = CRWSettingsNumber(container[key]);
    return number ? *number : fallback;
}

bool boolValue(const plat::Object& container, const char* key, bool fallback) {
    std::optional<bool> value = CRWSettingsBool(container[key]);
    return value ? *value : fallback;
}

std::string stringOf(const plat::Object::Dict& dict, const char* key) {
    auto it = dict.find(key);
    if (it == dict.end()) return {};
    if (const std::string* text = it->second.asString()) return *text;
    return it->second.debugDescription();
}

// A cached file another user left in the folder (or one others may write, or a link) is left
// aside: not read, and neither replaced nor removed.
bool leftAside(const std::optional<std::string>& refusal) {
    if (refusal) CRWErrorLog("%@; leaving it aside", *refusal);
    return refusal.has_value();
}

} // namespace

std::optional<double> CRWSettingsNumber(const plat::Object& value) {
    if (const plat::Number* number = value.asNumber()) return number->doubleValue();
    if (const std::string* text = value.asString()) {
        double parsed = std::strtod(text->c_str(), nullptr);
        return std::isfinite(parsed) ? parsed : 0.0;
    }
    return std::nullopt;
}

std::optional<bool> CRWSettingsBool(const plat::Object& value) {
    if (const plat::Number* number = value.asNumber()) return number->boolValue();
    if (const std::string* text = value.asString()) {
        size_t i = 0;
        while (i < text->size() && std::isspace(static_cast<unsigned char>((*text)[i])))
            ++i;
        if (i == text->size()) return false;
        char c = (*text)[i];
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    return std::nullopt;
}

CRWSettings::CRWSettings(std::string settingsDirectoryPath,
                         std::shared_ptr<CRWApplicationIdentifierModel> appIDModel)
    : settingsDirectoryPath_(std::move(settingsDirectoryPath)), appIDModel_(std::move(appIDModel)) {}

std::string CRWSettings::settingsFilePath() const {
    return (std::filesystem::path(settingsDirectoryPath_) / kSettingsFileName).string();
}

std::string CRWSettings::cacheKeyPath() const {
    return (std::filesystem::path(settingsDirectoryPath_) / kCacheKeyFileName).string();
}

double CRWSettings::currentTimestamp() {
    return plat::Date::now().timeIntervalSinceReferenceDate();
}

bool CRWSettings::loadSettingsData(std::string_view data) {
    plat::Object parsed = plat::JSONSerialization::jsonObject(data);
    if (!parsed.isDict()) return false;
    std::lock_guard guard(lock_);
    settingsDictionary_ = parsed.dict();
    return true;
}

void CRWSettings::reloadFromCacheWithTesseraAppID(const std::string& tesseraAppID, double currentTimestamp) {
    // A write of the cache key that was killed leaves its temporary file beside it.
    plat::paths::removeStaleTemporaryFiles(settingsDirectoryPath_);
    plat::paths::OwnFile data = plat::paths::readOwnFile(settingsFilePath());
    if (leftAside(data.refusal())) return;
    if (data.state != plat::paths::OwnFile::State::Read) {
        CRWDebugLog("[Crashwatch:Settings] No settings were cached");
        return;
    }
    plat::Error error;
    plat::Object parsed =
        plat::JSONSerialization::jsonObject(data.bytes, plat::JSONSerialization::ReadingNone, &error);
    if (!parsed.isDict()) {
        if (!parsed.isAbsent())
            error =
                plat::Error(plat::JSONSerialization::kErrorDomain, plat::JSONSerialization::kParseErrorCode);
        CRWErrorLog("Could not load settings file data with error: %@", error.localizedDescription());
        deleteCachedSettings();
        return;
    }
    {
        std::lock_guard guard(lock_);
        settingsDictionary_ = parsed.dict();
    }
    std::optional<plat::Object::Dict> cacheKey = loadCacheKey();
    if (!cacheKey) {
        CRWErrorLog("Could not load settings cache key");
        deleteCachedSettings();
        return;
    }
    if (stringOf(*cacheKey, "tessera_app_id") != tesseraAppID) {
        CRWDebugLog("[Crashwatch:Settings] Invalidating settings cache because Tessera App ID changed");
        deleteCachedSettings();
        return;
    }
    auto createdAt = cacheKey->find("created_at");
    std::optional<double> created =
        createdAt == cacheKey->end() ? std::nullopt : CRWSettingsNumber(createdAt->second);
    double expiry =
        static_cast<double>(toUInt32(created.value_or(0))) + static_cast<double>(cacheDurationSeconds());
    if (expiry < currentTimestamp) {
        CRWDebugLog("[Crashwatch:Settings] Settings TTL expired");
        std::lock_guard guard(lock_);
        isCacheKeyExpired_ = true;
    }
    if (!appIDModel_ || stringOf(*cacheKey, "build_instance_id") != appIDModel_->buildInstanceID()) {
        CRWDebugLog("[Crashwatch:Settings] Settings expired because build instance changed");
        std::lock_guard guard(lock_);
        isCacheKeyExpired_ = true;
    }
    if (!appIDModel_ || stringOf(*cacheKey, "app_version") != appIDModel_->synthesizedVersion()) {
        CRWDebugLog("[Crashwatch:Settings] Settings expired because app version changed");
        std::lock_guard guard(lock_);
        isCacheKeyExpired_ = true;
    }
}

void CRWSettings::cacheSettingsWithTesseraAppID(const std::string& tesseraAppID, double currentTimestamp) {
    plat::Object::Dict key{
        {"created_at", currentTimestamp},
        {"tessera_app_id", tesseraAppID},
        {"build_instance_id", appIDModel_ ? appIDModel_->buildInstanceID() : std::string()},
        {"app_version", appIDModel_ ? appIDModel_->synthesizedVersion() : std::string()}};
    plat::Error error;
    std::optional<std::string> bytes =
        plat::JSONSerialization::data(plat::Object(key), plat::JSONSerialization::WritingNone, &error);
    if (!bytes) {
        CRWErrorLog("Could not create settings cache key with error: %@", error.localizedDescription());
        return;
    }
    if (!leftAside(plat::paths::refusalOf(cacheKeyPath()))) {
        plat::paths::removeOwn(cacheKeyPath());
        plat::paths::ensureDirectory(settingsDirectoryPath_);
        plat::paths::writeFileAtomically(cacheKeyPath(), *bytes);
    }
    {
        std::lock_guard guard(lock_);
        isCacheKeyExpired_ = false;
    }
    reloadFromCacheWithTesseraAppID(tesseraAppID, currentTimestamp);
}

bool CRWSettings::isCacheExpired() const {
    std::lock_guard guard(lock_);
    if (!settingsDictionary_) return true;
    return isCacheKeyExpired_;
}

void CRWSettings::deleteCachedSettings() {
    std::string settingsFile = settingsFilePath();
    std::string cacheKey = cacheKeyPath();
    plat::DispatchQueue::global(plat::QoS::Background).async([settingsFile, cacheKey] {
        for (const std::string& file : {settingsFile, cacheKey}) {
            if (leftAside(plat::paths::refusalOf(file))) continue;
            plat::paths::removeOwn(file);
        }
    });
    std::lock_guard guard(lock_);
    isCacheKeyExpired_ = true;
    settingsDictionary_.reset();
}

std::optional<plat::Object::Dict> CRWSettings::loadCacheKey() const {
    plat::paths::OwnFile data = plat::paths::readOwnFile(cacheKeyPath());
    if (data.state != plat::paths::OwnFile::State::Read) return std::nullopt;
    plat::Object parsed =
        plat::JSONSerialization::jsonObject(data.bytes, plat::JSONSerialization::FragmentsAllowed);
    if (!parsed.isDict()) return std::nullopt;
    return parsed.dict();
}

std::optional<plat::Object::Dict> CRWSettings::settingsDictionary() const {
    std::lock_guard guard(lock_);
    return settingsDictionary_;
}

plat::Object CRWSettings::section(const char* name) const {
    std::optional<plat::Object::Dict> dict = settingsDictionary();
    if (!dict) return plat::Object();
    auto it = dict->find(name);
    // A section that is not an object reads as absent, so its keys take their defaults.
    if (it == dict->end() || !it->second.isDict()) return plat::Object();
    return it->second;
}

plat::Object CRWSettings::appSettings() const {
    return section("app");
}
plat::Object CRWSettings::sessionSettings() const {
    return section("session");
}
plat::Object CRWSettings::featuresSettings() const {
    return section("features");
}
plat::Object CRWSettings::legacySettings() const {
    return section("legacy");
}

namespace {
plat::Object topLevel(const std::optional<plat::Object::Dict>& dict) {
    return dict ? plat::Object(*dict) : plat::Object();
}
} // namespace

uint32_t CRWSettings::cacheDurationSeconds() const {
    return uintValue(topLevel(settingsDictionary()), "cache_duration", 3600);
}
bool CRWSettings::errorReportingEnabled() const {
    return boolValue(featuresSettings(), "collect_logged_exceptions", true);
}
bool CRWSettings::collectReportsEnabled() const {
    return boolValue(featuresSettings(), "collect_reports", true);
}
bool CRWSettings::metricKitCollectionEnabled() const {
    return boolValue(featuresSettings(), "collect_metric_kit", false);
}
uint32_t CRWSettings::logBufferSize() const {
    return uintValue(sessionSettings(), "log_buffer_size", 64000);
}
uint32_t CRWSettings::maxCustomExceptions() const {
    return uintValue(sessionSettings(), "max_custom_exception_events", 8);
}
uint32_t CRWSettings::maxCustomKeys() const {
    return uintValue(sessionSettings(), "max_custom_key_value_pairs", 64);
}
double CRWSettings::onDemandUploadRate() const {
    return doubleValue(topLevel(settingsDictionary()), "on_demand_upload_rate_per_minute", 10.0);
}
double CRWSettings::onDemandBackoffBase() const {
    return doubleValue(topLevel(settingsDictionary()), "on_demand_backoff_base", 1.5);
}
uint32_t CRWSettings::onDemandBackoffStepDuration() const {
    return uintValue(topLevel(settingsDictionary()), "on_demand_backoff_step_duration_seconds", 6);
}
