#include "core/TSROptions.h"

#include "core/TSRBundleUtil.h"
#include "core/TSRException.h"
#include "core/TSRLogger.h"
#include "core/TSRVersion.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"

#include <cstdio>
#include <functional>
#include <sstream>

namespace {

constexpr const char* kIsMeasurementEnabled = "IS_MEASUREMENT_ENABLED";
constexpr const char* kAnalyticsCollectionEnabled = "TESSERA_ANALYTICS_COLLECTION_ENABLED";
constexpr const char* kAnalyticsCollectionDeactivated = "TESSERA_ANALYTICS_COLLECTION_DEACTIVATED";

struct DefaultState {
    std::mutex lock;
    bool dictionaryRead = false;
    std::optional<plat::Object::Dict> dictionary;
    bool optionsMade = false;
    std::shared_ptr<TSROptions> options;
};

DefaultState& defaults() {
    static auto* s = new DefaultState;
    return *s;
}

// The property list at `path` when it is a dictionary.
std::optional<plat::Object::Dict> readDictionary(const std::string& path) {
    auto bytes = plat::paths::readFile(path);
    if (!bytes) return std::nullopt;
    plat::Object root = plat::PropertyList::fromBytes(*bytes);
    if (!root.isDict()) return std::nullopt;
    return root.dict();
}

// The boolean reading of an option value: numbers by value, text as the platform reads a boolean
// from text ("YES", "true", "1"...), anything else false.
bool boolValue(const plat::Object& value) {
    if (value.isNumber()) return value.number().boolValue();
    if (value.isString()) {
        for (char c : value.string()) {
            if (c == ' ' || c == '\t' || c == '\n') continue;
            if (c == '+' || c == '-' || c == '0') continue;
            return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
        }
    }
    return false;
}

} // namespace

std::optional<TSROptions::Dict> TSROptions::defaultOptionsDictionary() {
    DefaultState& s = defaults();
    std::lock_guard guard(s.lock);
    if (s.dictionaryRead) return s.dictionary;
    s.dictionaryRead = true;
    const OptionalString path = plistFilePathWithName(kTSRDefaultOptionsResourceName);
    if (!path) {
        TSRLogError(kTSRLoggerCore, "I-COR000012", "Could not locate configuration file: '%@.%@'.",
                    kTSRDefaultOptionsResourceName, kTSROptionsFileType);
        return std::nullopt;
    }
    s.dictionary = readDictionary(*path);
    if (!s.dictionary)
        TSRLogError(kTSRLoggerCore, "I-COR000011", "The configuration file is not a dictionary: '%@.%@'.",
                    kTSRDefaultOptionsResourceName, kTSROptionsFileType);
    return s.dictionary;
}

std::shared_ptr<TSROptions> TSROptions::defaultOptions() {
    const std::optional<Dict> dictionary = defaultOptionsDictionary();
    DefaultState& s = defaults();
    std::lock_guard guard(s.lock);
    if (!s.optionsMade) {
        s.optionsMade = true;
        if (dictionary) s.options = initInternalWithOptionsDictionary(*dictionary);
    }
    return s.options;
}

TSROptions::OptionalString TSROptions::plistFilePathWithName(const std::string& fileName) {
    return TSRBundleUtil::optionsDictionaryPathWithResourceName(fileName, kTSROptionsFileType,
                                                                TSRBundleUtil::relevantBundles());
}

void TSROptions::resetDefaultOptions() {
    DefaultState& s = defaults();
    std::lock_guard guard(s.lock);
    s.dictionaryRead = false;
    s.dictionary.reset();
    s.optionsMade = false;
    s.options.reset();
}

std::shared_ptr<TSROptions> TSROptions::initInternalWithOptionsDictionary(Dict dictionary) {
    return std::shared_ptr<TSROptions>(new TSROptions(std::move(dictionary), true));
}

std::shared_ptr<TSROptions> TSROptions::initWithContentsOfFile(const OptionalString& path) {
    if (!path) {
        TSRLogError(kTSRLoggerCore, "I-COR000013", "The plist file path is nil.");
        return nullptr;
    }
    std::optional<Dict> dictionary = readDictionary(*path);
    if (!dictionary) {
        TSRLogError(kTSRLoggerCore, "I-COR000014",
                    "The configuration file at %@ does not exist or is not a well-formed plist file.", *path);
        return nullptr;
    }
    return std::shared_ptr<TSROptions>(new TSROptions(std::move(*dictionary), false));
}

std::shared_ptr<TSROptions> TSROptions::initWithTesseraAppID(const std::string& tesseraAppID,
                                                             const std::string& senderID) {
    Dict dictionary{{"TESSERA_APP_ID", tesseraAppID}, {"SENDER_ID", senderID}};
    if (auto bundleID = TSRBundleUtil::mainBundle()->bundleIdentifier()) dictionary["BUNDLE_ID"] = *bundleID;
    return std::shared_ptr<TSROptions>(new TSROptions(std::move(dictionary), false));
}

TSROptions::OptionalString TSROptions::stringForKey(const char* key) const {
    auto found = optionsDictionary_.find(key);
    if (found == optionsDictionary_.end() || !found->second.isString()) return std::nullopt;
    return found->second.string();
}

void TSROptions::checkEditingLocked() const {
    if (editingLocked_)
        throw TSRException(kTSRCoreExceptionName,
                           "Attempted to modify options after it's set on TSRApp. Please "
                           "modify all properties before initializing TSRApp.");
}

void TSROptions::setString(const char* key, OptionalString value) {
    checkEditingLocked();
    if (value)
        optionsDictionary_[key] = std::move(*value);
    else
        optionsDictionary_.erase(key);
}

void TSROptions::setDeepLinkURLScheme(OptionalString scheme) {
    checkEditingLocked();
    deepLinkURLScheme_ = std::move(scheme);
}

void TSROptions::setAppGroupID(OptionalString appGroupID) {
    checkEditingLocked();
    appGroupID_ = std::move(appGroupID);
}

const std::string& TSROptions::libraryVersionID() {
    static const std::string* versionID = [] {
        std::istringstream parts(TSRVersion());
        std::string part, digits;
        for (int i = 0; i < 3; ++i) {
            if (!std::getline(parts, part, '.')) part.clear();
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "%02d", std::atoi(part.c_str()));
            digits += buffer;
        }
        return new std::string(digits + "000");
    }();
    return *versionID;
}

std::shared_ptr<TSROptions> TSROptions::copy() const {
    std::shared_ptr<TSROptions> copy = initInternalWithOptionsDictionary(optionsDictionary_);
    copy->setDeepLinkURLScheme(deepLinkURLScheme_);
    copy->setAppGroupID(appGroupID_);
    copy->editingLocked_ = editingLocked_;
    copy->usingOptionsFromDefaultPlist_ = usingOptionsFromDefaultPlist_;
    return copy;
}

bool TSROptions::isEqualToOptions(const TSROptions& other) const {
    if (this == &other) return true;
    return optionsDictionary_ == other.optionsDictionary_ && deepLinkURLScheme_ == other.deepLinkURLScheme_ &&
           appGroupID_ == other.appGroupID_ &&
           analyticsOptionsDictionary() == other.analyticsOptionsDictionary();
}

size_t TSROptions::hash() const {
    std::hash<std::string> h;
    return h(plat::Object(optionsDictionary_).debugDescription()) ^ h(deepLinkURLScheme_.value_or("")) ^
           h(appGroupID_.value_or(""));
}

TSROptions::Dict TSROptions::analyticsOptionsDictionaryWithInfoDictionary(const Dict& infoDictionary) const {
    std::lock_guard guard(analyticsLock_);
    if (analyticsOptionsDictionary_) return *analyticsOptionsDictionary_;
    Dict analytics;
    for (const char* key :
         {kIsMeasurementEnabled, kAnalyticsCollectionEnabled, kAnalyticsCollectionDeactivated}) {
        if (auto found = infoDictionary.find(key); found != infoDictionary.end())
            analytics[key] = found->second;
        else if (auto option = optionsDictionary_.find(key); option != optionsDictionary_.end())
            analytics[key] = option->second;
    }
    analyticsOptionsDictionary_ = analytics;
    return analytics;
}

TSROptions::Dict TSROptions::analyticsOptionsDictionary() const {
    return analyticsOptionsDictionaryWithInfoDictionary(TSRBundleUtil::mainBundle()->infoDictionary());
}

bool TSROptions::isAnalyticsCollectionDeactivated() const {
    const Dict analytics = analyticsOptionsDictionary();
    auto found = analytics.find(kAnalyticsCollectionDeactivated);
    return found != analytics.end() && boolValue(found->second);
}

bool TSROptions::isMeasurementEnabled(bool dataCollectionDefaultEnabled) const {
    if (isAnalyticsCollectionDeactivated()) return false;
    const Dict analytics = analyticsOptionsDictionary();
    if (auto found = analytics.find(kIsMeasurementEnabled); found != analytics.end())
        return boolValue(found->second);
    return dataCollectionDefaultEnabled;
}

bool TSROptions::isAnalyticsCollectionEnabled(bool dataCollectionDefaultEnabled) const {
    if (isAnalyticsCollectionDeactivated()) return false;
    const Dict analytics = analyticsOptionsDictionary();
    if (auto found = analytics.find(kAnalyticsCollectionEnabled); found != analytics.end())
        return boolValue(found->second);
    return isMeasurementEnabled(dataCollectionDefaultEnabled);
}

bool TSROptions::isAnalyticsCollectionExplicitlySet() const {
    if (isAnalyticsCollectionDeactivated()) return true;
    const Dict analytics = analyticsOptionsDictionary();
    for (const char* key : {kAnalyticsCollectionEnabled, kIsMeasurementEnabled}) {
        auto found = analytics.find(key);
        if (found != analytics.end() && found->second.isNumber()) return true;
    }
    return false;
}
