// The component registry of one app: at the app's creation it collects the components of every
// registrant class into a table keyed by protocol name, then hands out instances on request (or
// makes the eager ones at configuration) and keeps those their block marks as cacheable.
// Thread-safe: one recursive lock guards the table, the cache and the eager list, and is held
// while a creation block runs, so a block may ask the same container for other protocols.
#pragma once

#include "core/TSRClassRegistry.h"
#include "core/TSRComponent.h"
#include "core/TSRProtocol.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TSRApp;

class TSRComponentContainer {
public:
    // Adds `cls` to the process-wide registrant set (once; the set keeps the order of arrival).
    static void registerAsComponentRegistrant(const TSRClassRef& cls);
    static void registerAsComponentRegistrant(const TSRClassRef& cls, std::vector<TSRClassRef>& set);
    // A copy of the process-wide registrant set.
    static std::vector<TSRClassRef> registrants();
    // Test hook: an empty registrant set.
    static void resetRegistrantsForTesting();

    // A container for `app` from the process-wide registrants.
    explicit TSRComponentContainer(const std::shared_ptr<TSRApp>& app);
    // A container for `app` from the given registrants.
    TSRComponentContainer(const std::shared_ptr<TSRApp>& app, const std::vector<TSRClassRef>& registrants);

    TSRComponentContainer(const TSRComponentContainer&) = delete;
    TSRComponentContainer& operator=(const TSRComponentContainer&) = delete;

    // Makes every eagerly timed instance, once; later calls do nothing.
    void instantiateEagerComponents();
    // The cached instance, else one from the component's block; null when no component provides
    // the protocol or the block answered null. An instance that does not conform is logged
    // (I-COR000030) and handed out all the same.
    std::shared_ptr<TSRComponentInstance> instanceForProtocol(const TSRProtocol& protocol);
    // The same, seen as `P`; null when the instance is no `P`.
    template <typename P> std::shared_ptr<P> instanceFor(const TSRProtocol& protocol) {
        return std::dynamic_pointer_cast<P>(instanceForProtocol(protocol));
    }

    // Empties the component table; later requests are answered from the cache only.
    void removeAllComponents();
    // Tells the cached lifecycle maintainers that the app goes, then empties the cache.
    void removeAllCachedInstances();

    // The owning app while it lives, else null (the container never keeps its app alive).
    std::shared_ptr<TSRApp> app() const { return app_.lock(); }

    // Whether the eager list is still waiting (tests).
    bool hasPendingEagerComponents() const;

private:
    struct Entry {
        TSRProtocol protocol;
        TSRComponentCreationBlock creationBlock;
    };

    void populateComponentsFromRegisteredClasses(const std::vector<TSRClassRef>& classes, bool isDefaultApp);
    std::shared_ptr<TSRComponentInstance>
    instantiateInstanceForProtocol(const TSRProtocol& protocol, const TSRComponentCreationBlock& block);

    std::weak_ptr<TSRApp> app_;
    mutable std::recursive_mutex lock_;
    std::map<std::string, Entry> components_;
    std::map<std::string, std::shared_ptr<TSRComponentInstance>> cachedInstances_;
    std::optional<std::vector<TSRProtocol>> eagerProtocolsToInstantiate_;
};
