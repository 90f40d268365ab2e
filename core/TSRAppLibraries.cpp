// TSRApp's library registration: the user-agent components and the component registrants.
#include "core/TSRApp.h"

#include "core/TSRComponentContainer.h"
#include "core/TSRException.h"
#include "core/TSRLogger.h"
#include "core/TSRUserAgent.h"
#include "core/TSRVersion.h"
#include "platform/foundation/Text.h"

#include <mutex>
#include <utility>

namespace {

struct Libraries {
    std::mutex lock;
    std::shared_ptr<TSRUserAgent> userAgent;
    bool swiftComponentsRegistered = false;
};

Libraries& libraries() {
    static auto* l = new Libraries;
    return *l;
}

bool isValidLibraryText(const std::string& text) {
    return plat::text::matchesRegex(text, "[\\p{L}\\p{M}\\p{N}_.\\-]*");
}

// Library classes that register themselves with components, found by class name.
constexpr std::pair<const char*, const char*> kComponentClasses[] = {
    {"TSRSessions", "tsr-ses"},
    {"TSRModuleAComponent", "tsr-mod-a"},
};
// Library classes that only name themselves in the user-agent string.
constexpr std::pair<const char*, const char*> kLibraryClasses[] = {
    {"TSRModuleBLibrary", "tsr-mod-b"},   {"TSRModuleCLibrary", "tsr-mod-c"},
    {"TSRModuleDLibrary", "tsr-mod-d"},   {"TSRModuleELibrary", "tsr-mod-e"},
    {"TSRModuleF", "tsr-mod-f"},          {"TSRModuleG", "tsr-mod-g"},
    {"TSRModuleHComponent", "tsr-mod-h"}, {"TSRModuleIComponent", "tsr-mod-i"},
};

} // namespace

void TSRApp::registerLibrary(const std::string& name, const std::string& version) {
    if (!isValidLibraryText(name) || !isValidLibraryText(version)) {
        TSRLogError(
            kTSRLoggerCore, "I-COR000027",
            "The library name (%@) or version number (%@) contain invalid characters. Only alphanumeric, "
            "dash, underscore and period characters are allowed.",
            name, version);
        return;
    }
    userAgent().setValue(version, name);
}

void TSRApp::registerInternalLibrary(const TSRClassRef& cls, const std::string& name) {
    registerInternalLibrary(cls, name, TSRVersion());
}

void TSRApp::registerInternalLibrary(const TSRClassRef& cls, const std::string& name,
                                     const std::string& version) {
    if (!cls || !cls->conformsToProtocol(kTSRLibraryProtocol) ||
        !cls->respondsToSelector(kTSRComponentsToRegisterSelector))
        throw TSRException(
            kTSRInvalidArgumentException,
            TULStringWithFormat("Class %@ attempted to register components, but it does not conform to "
                                "`TSRLibrary or provide a `componentsToRegister:` method.",
                                TULMakeFormatArguments(cls ? cls->name : std::string("(null)"))));
    TSRComponentContainer::registerAsComponentRegistrant(cls);
    registerLibrary(name, version);
}

std::string TSRApp::tesseraUserAgent() {
    return userAgent().tesseraUserAgent();
}

TSRUserAgent& TSRApp::userAgent() {
    Libraries& l = libraries();
    std::lock_guard guard(l.lock);
    if (!l.userAgent) {
        l.userAgent = std::make_shared<TSRUserAgent>();
        l.userAgent->setValue(TSRVersion(), "tsr-ios");
    }
    return *l.userAgent;
}

void TSRApp::registerSwiftComponents() {
    {
        Libraries& l = libraries();
        std::lock_guard guard(l.lock);
        if (l.swiftComponentsRegistered) return;
        l.swiftComponentsRegistered = true;
    }
    TSRClassRegistry& classes = TSRClassRegistry::shared();
    for (const auto& [className, library] : kComponentClasses) {
        TSRClassRef cls = classes.classNamed(className);
        if (cls && cls->respondsToSelector(kTSRComponentsToRegisterSelector))
            registerInternalLibrary(cls, library);
    }
    for (const auto& [className, library] : kLibraryClasses) {
        TSRClassRef cls = classes.classNamed(className);
        if (!cls) continue;
        std::optional<std::string> version;
        if (cls->sdkVersion) version = cls->sdkVersion();
        registerLibrary(library, version.value_or(TSRVersion()));
    }
}

void TSRApp::resetLibrariesForTesting() {
    Libraries& l = libraries();
    std::lock_guard guard(l.lock);
    // The old builder is kept alive (never destroyed) in case a caller still holds a reference.
    static auto* retired = new std::vector<std::shared_ptr<TSRUserAgent>>;
    if (l.userAgent) retired->push_back(std::move(l.userAgent));
    l.swiftComponentsRegistered = false;
}
