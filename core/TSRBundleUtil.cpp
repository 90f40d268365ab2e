#include "core/TSRBundleUtil.h"

#include "platform/foundation/Bundle.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <mutex>

namespace {

struct Override {
    std::mutex lock;
    TSRBundleUtil::BundleRef bundle;
};

Override& bundleOverride() {
    static auto* o = new Override;
    return *o;
}

} // namespace

TSRBundleUtil::BundleRef TSRBundleUtil::mainBundle() {
    {
        std::lock_guard guard(bundleOverride().lock);
        if (bundleOverride().bundle) return bundleOverride().bundle;
    }
    // The main bundle lives for the whole process; the handle does not own it.
    return BundleRef(&plat::Bundle::main(), [](const plat::Bundle*) {});
}

std::vector<TSRBundleUtil::BundleRef> TSRBundleUtil::relevantBundles() {
    // The core is linked into the application, so its classes live in the main bundle too.
    BundleRef main = mainBundle();
    return {main, main};
}

std::optional<std::string> TSRBundleUtil::optionsDictionaryPathWithResourceName(
    const std::string& resourceName, const std::string& fileType, const std::vector<BundleRef>& bundles) {
    for (const auto& bundle : bundles) {
        if (!bundle) continue;
        if (auto path = bundle->pathForResource(resourceName, fileType)) return path->string();
    }
    return std::nullopt;
}

std::vector<std::string> TSRBundleUtil::relevantURLSchemes() {
    std::vector<std::string> schemes;
    for (const auto& bundle : relevantBundles()) {
        const plat::Object types = bundle->objectForInfoDictionaryKey("CFBundleURLTypes");
        if (!types.isArray()) continue;
        for (const auto& entry : types.array()) {
            const plat::Object& entrySchemes = entry["CFBundleURLSchemes"];
            if (!entrySchemes.isArray()) continue;
            for (const auto& scheme : entrySchemes.array())
                if (scheme.isString()) schemes.push_back(scheme.string());
        }
    }
    return schemes;
}

bool TSRBundleUtil::hasBundleIdentifierPrefix(const std::string& bundleIdentifier,
                                              const std::vector<BundleRef>& bundles) {
    for (const auto& bundle : bundles) {
        if (!bundle) continue;
        const std::optional<std::string> identifier = bundle->bundleIdentifier();
        if (!identifier) continue;
        if (*identifier == bundleIdentifier) return true;
        if (TULAppEnvironmentUtil::isAppExtension() &&
            bundleIdentifierByRemovingLastPartFrom(*identifier) == bundleIdentifier)
            return true;
    }
    return false;
}

std::string TSRBundleUtil::bundleIdentifierByRemovingLastPartFrom(const std::string& bundleIdentifier) {
    const auto lastDot = bundleIdentifier.rfind('.');
    return lastDot == std::string::npos ? std::string() : bundleIdentifier.substr(0, lastDot);
}

void TSRBundleUtil::setMainBundleForTesting(BundleRef bundle) {
    std::lock_guard guard(bundleOverride().lock);
    bundleOverride().bundle = std::move(bundle);
}
