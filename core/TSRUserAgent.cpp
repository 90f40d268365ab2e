#include "core/TSRUserAgent.h"

#include "core/TSRBundleUtil.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Text.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <algorithm>
#include <vector>

namespace {

// An Info value as text: strings as they are, numbers in decimal; anything else counts as missing.
std::optional<std::string> infoText(const std::string& key) {
    const plat::Object value = TSRBundleUtil::mainBundle()->objectForInfoDictionaryKey(key);
    if (value.isString()) return value.string();
    if (value.isNumber()) return value.number().stringValue();
    return std::nullopt;
}

} // namespace

void TSRUserAgent::setValue(const std::optional<std::string>& value, const std::string& component) {
    std::lock_guard guard(lock_);
    if (value)
        valuesByComponent_[component] = *value;
    else
        valuesByComponent_.erase(component);
    tesseraUserAgent_.reset();
}

std::string TSRUserAgent::tesseraUserAgent() {
    std::lock_guard guard(lock_);
    if (tesseraUserAgent_) return *tesseraUserAgent_;

    Components merged = valuesByComponent_;
    for (const auto& [key, value] : environmentComponents())
        merged[key] = value;

    std::vector<std::string> entries;
    entries.reserve(merged.size());
    for (const auto& [key, value] : merged)
        entries.push_back(key + "/" + value);
    std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
        return plat::text::localizedCaseInsensitiveCompare(a, b) < 0;
    });

    std::string joined;
    for (const auto& entry : entries) {
        if (!joined.empty()) joined += ' ';
        joined += entry;
    }
    tesseraUserAgent_ = joined;
    return joined;
}

void TSRUserAgent::reset() {
    std::lock_guard guard(lock_);
    valuesByComponent_ = currentEnvironmentComponents();
    tesseraUserAgent_.reset();
}

TSRUserAgent::Components TSRUserAgent::environmentComponents() {
    std::lock_guard guard(lock_);
    if (!environmentComponents_) environmentComponents_ = currentEnvironmentComponents();
    return *environmentComponents_;
}

TSRUserAgent::Components TSRUserAgent::valuesByComponent() {
    std::lock_guard guard(lock_);
    return valuesByComponent_;
}

TSRUserAgent::Components TSRUserAgent::currentEnvironmentComponents() {
    Components components{
        {"apple-platform", TULAppEnvironmentUtil::applePlatform()},
        {"appstore", TULAppEnvironmentUtil::isFromAppStore() ? "true" : "false"},
        {"deploy", TULAppEnvironmentUtil::deploymentType()},
        {"device", TULAppEnvironmentUtil::deviceModel()},
        {"os-version", TULAppEnvironmentUtil::systemVersion()},
    };
    if (auto sdk = infoText("DTSDKBuild")) components["apple-sdk"] = *sdk;
    if (auto xcode = infoText("DTXcodeBuild")) components["xcode"] = *xcode;
    return components;
}
