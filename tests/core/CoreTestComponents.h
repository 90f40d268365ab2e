// Test libraries for the component registry: interfaces standing for protocols, instances that
// count how often they are made, and a helper that describes a registrant class.
#pragma once

#include "core/TSRClassRegistry.h"
#include "core/TSRComponent.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRComponentLifecycleMaintainer.h"
#include "core/TSRProtocol.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace coretest {

class EagerProvider : public virtual TSRComponentInstance {};
class DefaultEagerProvider : public virtual TSRComponentInstance {};
class LazyProvider : public virtual TSRComponentInstance {};
class OtherProvider : public virtual TSRComponentInstance {};

inline TSRProtocol eagerProtocol() {
    return TSRProtocol::of<EagerProvider>("TestEagerProvider");
}
inline TSRProtocol defaultEagerProtocol() {
    return TSRProtocol::of<DefaultEagerProvider>("TestDefaultEagerProvider");
}
inline TSRProtocol lazyProtocol() {
    return TSRProtocol::of<LazyProvider>("TestLazyProvider");
}
inline TSRProtocol otherProtocol() {
    return TSRProtocol::of<OtherProvider>("TestOtherProvider");
}

// An instance that provides every test protocol and hears about its app's deletion.
class Provider : public EagerProvider,
                 public DefaultEagerProvider,
                 public LazyProvider,
                 public TSRComponentLifecycleMaintainer {
public:
    explicit Provider(std::string tag) : tag(std::move(tag)) {}
    void appWillBeDeleted(const std::shared_ptr<TSRApp>& app) override {
        ++deletions;
        deletedAppWasAlive = app != nullptr;
    }
    std::string tag;
    int deletions = 0;
    bool deletedAppWasAlive = false;
};

// A component whose block makes a Provider tagged `tag`, counts into `made` and caches as asked.
inline std::shared_ptr<TSRComponent> countingComponent(const TSRProtocol& protocol,
                                                       TSRInstantiationTiming timing,
                                                       std::shared_ptr<std::atomic<int>> made,
                                                       std::string tag, bool cacheable = true) {
    return TSRComponent::componentWithProtocol(
        protocol, timing, [made, tag, cacheable](TSRComponentContainer&, bool* isCacheable) {
            ++*made;
            *isCacheable = cacheable;
            return std::make_shared<Provider>(tag);
        });
}

// A registrant class offering `components`.
inline TSRClass libraryClass(std::string name, std::vector<std::shared_ptr<TSRComponent>> components) {
    TSRClass cls;
    cls.name = std::move(name);
    cls.protocols = {kTSRLibraryProtocol};
    cls.componentsToRegister = [components] { return components; };
    return cls;
}

} // namespace coretest
