#include "core/TSRComponentContainer.h"

#include "core/TSRApp.h"
#include "core/TSRComponentLifecycleMaintainer.h"
#include "core/TSRLogger.h"
#include "core/TSROptions.h"

#include <algorithm>

namespace {

struct RegistrantSet {
    std::mutex lock;
    std::vector<TSRClassRef> classes;
};

RegistrantSet& registrantSet() {
    static auto* set = new RegistrantSet;
    return *set;
}

// The excluded app leaves out the optional registrant, when the program has one.
constexpr const char* kExcludedAppName = "ExcludedTSRApp";
constexpr const char* kExcludedAppSenderID = "000000000000";
constexpr const char* kOptionalComponentClassName = "TSROptionalComponent";

bool isExcludedApp(const TSRApp& app) {
    return app.name() == kExcludedAppName && app.options()->senderID() == kExcludedAppSenderID;
}

} // namespace

void TSRComponentContainer::registerAsComponentRegistrant(const TSRClassRef& cls,
                                                          std::vector<TSRClassRef>& set) {
    if (!cls) return;
    if (std::find(set.begin(), set.end(), cls) == set.end()) set.push_back(cls);
}

void TSRComponentContainer::registerAsComponentRegistrant(const TSRClassRef& cls) {
    RegistrantSet& set = registrantSet();
    std::lock_guard guard(set.lock);
    registerAsComponentRegistrant(cls, set.classes);
}

std::vector<TSRClassRef> TSRComponentContainer::registrants() {
    RegistrantSet& set = registrantSet();
    std::lock_guard guard(set.lock);
    return set.classes;
}

void TSRComponentContainer::resetRegistrantsForTesting() {
    RegistrantSet& set = registrantSet();
    std::lock_guard guard(set.lock);
    set.classes.clear();
}

TSRComponentContainer::TSRComponentContainer(const std::shared_ptr<TSRApp>& app)
    : TSRComponentContainer(app, [&app] {
          std::vector<TSRClassRef> classes = registrants();
          if (app && isExcludedApp(*app)) {
              if (TSRClassRef optional = TSRClassRegistry::shared().classNamed(kOptionalComponentClassName))
                  std::erase(classes, optional);
          }
          return classes;
      }()) {}

TSRComponentContainer::TSRComponentContainer(const std::shared_ptr<TSRApp>& app,
                                             const std::vector<TSRClassRef>& registrants)
    : app_(app) {
    populateComponentsFromRegisteredClasses(registrants, app && app->isDefaultApp());
}

void TSRComponentContainer::populateComponentsFromRegisteredClasses(const std::vector<TSRClassRef>& classes,
                                                                    bool isDefaultApp) {
    std::lock_guard guard(lock_);
    eagerProtocolsToInstantiate_.emplace();
    for (const auto& cls : classes) {
        if (!cls || !cls->componentsToRegister) continue;
        for (const auto& component : cls->componentsToRegister()) {
            if (!component) continue;
            const std::string& key = component->protocol().name();
            if (components_.count(key)) {
                TSRLogError(kTSRLoggerCore, "I-COR000029",
                            "Attempted to register protocol %@, but it already has an implementation.", key);
                continue;
            }
            components_.emplace(key, Entry{component->protocol(), component->creationBlock()});
            const TSRInstantiationTiming timing = component->instantiationTiming();
            if (timing == TSRInstantiationTimingAlwaysEager ||
                (timing == TSRInstantiationTimingEagerInDefaultApp && isDefaultApp))
                eagerProtocolsToInstantiate_->push_back(component->protocol());
        }
    }
}

std::shared_ptr<TSRComponentInstance>
TSRComponentContainer::instanceForProtocol(const TSRProtocol& protocol) {
    std::lock_guard guard(lock_);
    const std::string& key = protocol.name();
    if (auto cached = cachedInstances_.find(key); cached != cachedInstances_.end()) return cached->second;
    auto entry = components_.find(key);
    if (entry == components_.end()) return nullptr;
    // A copy: the block may change the table while it runs.
    const TSRComponentCreationBlock block = entry->second.creationBlock;
    return instantiateInstanceForProtocol(protocol, block);
}

std::shared_ptr<TSRComponentInstance>
TSRComponentContainer::instantiateInstanceForProtocol(const TSRProtocol& protocol,
                                                      const TSRComponentCreationBlock& block) {
    if (!block) return nullptr;
    bool isCacheable = false;
    std::shared_ptr<TSRComponentInstance> instance = block(*this, &isCacheable);
    if (!instance) return nullptr;
    if (!protocol.isConformedToBy(*instance))
        TSRLogError(
            kTSRLoggerCore, "I-COR000030",
            "An instance conforming to %@ was requested, but the instance provided does not conform to the "
            "protocol",
            protocol.name());
    if (isCacheable) cachedInstances_[protocol.name()] = instance;
    return instance;
}

void TSRComponentContainer::instantiateEagerComponents() {
    std::lock_guard guard(lock_);
    if (!eagerProtocolsToInstantiate_) return;
    // Taken out first, so a block that re-enters here finds nothing left to do.
    const std::vector<TSRProtocol> eager = std::move(*eagerProtocolsToInstantiate_);
    eagerProtocolsToInstantiate_.reset();
    for (const auto& protocol : eager)
        instanceForProtocol(protocol);
}

bool TSRComponentContainer::hasPendingEagerComponents() const {
    std::lock_guard guard(lock_);
    return eagerProtocolsToInstantiate_.has_value();
}

void TSRComponentContainer::removeAllComponents() {
    std::lock_guard guard(lock_);
    components_.clear();
}

void TSRComponentContainer::removeAllCachedInstances() {
    std::lock_guard guard(lock_);
    const auto instances = cachedInstances_;
    const std::shared_ptr<TSRApp> owner = app();
    for (const auto& [name, instance] : instances) {
        if (auto maintainer = std::dynamic_pointer_cast<TSRComponentLifecycleMaintainer>(instance))
            maintainer->appWillBeDeleted(owner);
    }
    cachedInstances_.clear();
}
