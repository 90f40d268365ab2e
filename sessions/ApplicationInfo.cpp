#include "sessions/ApplicationInfo.h"

#include "sessions/TSRSESGetSysctlEntry.h"

#include "core/TSRVersion.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <algorithm>
#include <cctype>

std::optional<std::string> TSRSESGetSysctlEntry(const std::string& name) {
    std::optional<std::string> entry = TULAppEnvironmentUtil::getSysctlEntry(name);
    if (!entry || entry->empty()) return std::nullopt;
    return entry;
}

ApplicationInfo::ApplicationInfo(std::string appID, std::shared_ptr<const NetworkInfoProtocol> networkInfo,
                                 std::map<std::string, std::string> envParams,
                                 std::optional<plat::Object::Dict> infoDict)
    : appID_(std::move(appID)), networkInformation_(std::move(networkInfo)), envParams_(std::move(envParams)),
      infoDict_(std::move(infoDict)) {}

std::string ApplicationInfo::sdkVersion() const {
    return TSRVersion();
}

std::string ApplicationInfo::osName() const {
    return TULAppEnvironmentUtil::appleDevicePlatform();
}

std::string ApplicationInfo::deviceModel() const {
    return TULAppEnvironmentUtil::deviceSimulatorModel().value_or("");
}

DevEnvironment ApplicationInfo::environment() const {
    auto found = envParams_.find(kTSRSessionsRunEnvironmentVariable);
    if (found == envParams_.end()) return DevEnvironment::prod;
    std::string text = found->second;
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), isBlank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), isBlank).base(), text.end());
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (text == "staging") return DevEnvironment::staging;
    if (text == "dev") return DevEnvironment::dev;
    return DevEnvironment::prod;
}

std::string ApplicationInfo::infoString(const char* key) const {
    if (!infoDict_) return {};
    auto found = infoDict_->find(key);
    if (found == infoDict_->end() || !found->second.isString()) return {};
    return found->second.string();
}

std::string ApplicationInfo::appBuildVersion() const {
    return infoString("CFBundleVersion");
}

std::string ApplicationInfo::appDisplayVersion() const {
    return infoString("CFBundleShortVersionString");
}

std::string ApplicationInfo::osBuildVersion() const {
    return TSRSESGetSysctlEntry("kern.osversion").value_or("");
}

std::string ApplicationInfo::osDisplayVersion() const {
    return TULAppEnvironmentUtil::systemVersion();
}
