// Finds resources and bundle identifiers in the bundles that matter to the library: the main
// bundle and the bundle that holds the core's own classes (both the application bundle here).
// Stateless apart from a test hook that stands in another main bundle; thread-safe.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {
class Bundle;
}

class TSRBundleUtil {
public:
    using BundleRef = std::shared_ptr<const plat::Bundle>;

    // The application's bundle (or the one a test put in its place).
    static BundleRef mainBundle();
    // The main bundle and the library's own bundle, in that order.
    static std::vector<BundleRef> relevantBundles();
    // The path of "<resourceName>.<fileType>" in the first bundle that has it; none otherwise.
    static std::optional<std::string>
    optionsDictionaryPathWithResourceName(const std::string& resourceName, const std::string& fileType,
                                          const std::vector<BundleRef>& bundles);
    // Every "CFBundleURLSchemes" string of every "CFBundleURLTypes" entry of the relevant bundles,
    // duplicates kept. Entries of the wrong kind are skipped.
    static std::vector<std::string> relevantURLSchemes();
    // Whether a bundle's identifier equals `bundleIdentifier`; in an app extension also when the
    // identifier less its last part does.
    static bool hasBundleIdentifierPrefix(const std::string& bundleIdentifier,
                                          const std::vector<BundleRef>& bundles);
    // "a.b.c" -> "a.b"; an id without a dot gives the empty string.
    static std::string bundleIdentifierByRemovingLastPartFrom(const std::string& bundleIdentifier);

    // Test hook: answer `bundle` as the main bundle (null restores the application's bundle).
    static void setMainBundleForTesting(BundleRef bundle);
};
