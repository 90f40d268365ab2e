#include "core/TSRClassRegistry.h"

#include <algorithm>

bool TSRClass::respondsToSelector(const std::string& selector) const {
    if (selector == kTSRComponentsToRegisterSelector) return static_cast<bool>(componentsToRegister);
    if (selector == kTSRSDKVersionSelector) return static_cast<bool>(sdkVersion);
    if (selector == kTSRLoadSelector) return static_cast<bool>(load);
    return false;
}

TSRClassRegistry& TSRClassRegistry::shared() {
    static auto* registry = new TSRClassRegistry;
    return *registry;
}

TSRClassRef TSRClassRegistry::registerClass(TSRClass cls) {
    TSRClassRef added;
    bool runHook = false;
    {
        std::lock_guard guard(lock_);
        auto existing = std::find_if(classes_.begin(), classes_.end(),
                                     [&](const TSRClassRef& c) { return c->name == cls.name; });
        if (existing != classes_.end()) return *existing;
        added = std::make_shared<const TSRClass>(std::move(cls));
        classes_.push_back(added);
        runHook = bootstrapped_;
    }
    // Outside the lock: a hook registers with the app core, which may look classes up.
    if (runHook && added->load) added->load();
    return added;
}

TSRClassRef TSRClassRegistry::classNamed(const std::string& name) const {
    std::lock_guard guard(lock_);
    for (const auto& cls : classes_)
        if (cls->name == name) return cls;
    return nullptr;
}

std::vector<TSRClassRef> TSRClassRegistry::allClasses() const {
    std::lock_guard guard(lock_);
    return classes_;
}

void TSRClassRegistry::bootstrap() {
    std::lock_guard running(bootstrapLock_);
    std::vector<TSRClassRef> classes;
    {
        std::lock_guard guard(lock_);
        if (bootstrapped_) return;
        bootstrapped_ = true;
        classes = classes_;
    }
    for (const auto& cls : classes)
        if (cls->load) cls->load();
}

bool TSRClassRegistry::hasBootstrapped() const {
    std::lock_guard guard(lock_);
    return bootstrapped_;
}

void TSRClassRegistry::resetForTesting() {
    std::lock_guard guard(lock_);
    classes_.clear();
    bootstrapped_ = false;
}
