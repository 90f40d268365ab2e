#include "crash/record/CRWApplication.h"

#include "crash/record/CRWSDKFileLog.h"
#include "platform/foundation/Bundle.h"
#include "platform/runtime/PlatformClasses.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

std::string infoString(const char* key) {
    const plat::Object value = plat::Bundle::main().objectForInfoDictionaryKey(key);
    return value.isString() ? value.string() : std::string();
}

} // namespace

std::string CRWApplicationGetBundleIdentifier() {
    std::string identifier = plat::Bundle::main().bundleIdentifier().value_or("");
    std::replace(identifier.begin(), identifier.end(), '/', '_');
    return identifier;
}

std::string CRWApplicationGetSDKBundleID() {
    return "com.tessera.crashwatch." + CRWApplicationGetPlatform();
}

std::string CRWApplicationGetPlatform() {
    return "mac";
}

std::string CRWApplicationGetTesseraPlatform() {
    return TULAppEnvironmentUtil::applePlatform();
}

std::string CRWApplicationGetBundleVersion() {
    return infoString("CFBundleVersion");
}

std::string CRWApplicationGetShortBundleVersion() {
    return infoString("CFBundleShortVersionString");
}

std::string CRWApplicationGetName() {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        std::string name = infoString(key);
        if (!name.empty()) return name;
    }
    return CRWApplicationGetBundleVersion();
}

bool CRWApplicationHasAppStoreReceipt() {
    std::error_code error;
    return std::filesystem::is_regular_file(plat::Bundle::main().bundlePath() / "_MASReceipt" / "receipt",
                                            error);
}

int CRWApplicationInstallationSource() {
    return CRWApplicationHasAppStoreReceipt() ? 4 : 1;
}

std::optional<std::string> CRWApplicationExtensionPointIdentifier() {
    const plat::Object extension = plat::Bundle::main().objectForInfoDictionaryKey("NSExtension");
    if (extension.isAbsent()) return std::nullopt;
    if (!extension.isDict()) {
        CRWSDKLogWarn("Error: NSExtension Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    const plat::Object& point = extension["NSExtensionPointIdentifier"];
    if (!point.isString()) {
        CRWSDKLogWarn("Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n");
        return std::nullopt;
    }
    return point.string();
}

void CRWApplicationActivity(unsigned long long, const std::string&, const std::function<void()>& block) {
    if (block) block();
}

std::string CRWApplicationLocaleIdentifier() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        std::string locale = value;
        // "en_GB.UTF-8@euro" -> "en_GB"
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale.empty() || locale == "C" || locale == "POSIX") return "en_US_POSIX";
        return locale;
    }
    return "en_US_POSIX";
}

plat::rt::Id CRWApplicationSharedInstance() {
    return plat::rt::sharedApplication();
}
