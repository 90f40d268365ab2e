#include "platform/runtime/Instance.h"
#include "platform/runtime/RuntimeTables.h"
#include "platform/runtime/TypeEncoding.h"

#include <algorithm>

namespace plat::rt {

namespace detail {

std::recursive_mutex& tableLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

} // namespace detail

namespace {

struct Tables {
    std::map<std::string, std::unique_ptr<SelectorInfo>> selectors;
    std::map<std::string, std::unique_ptr<ClassInfo>> classes; // registered and being made, by name
    std::vector<std::unique_ptr<ClassInfo>> metaclasses;
    std::map<std::string, std::unique_ptr<Protocol>> protocols;
};

// Never destroyed: classes live as long as the process, as the platform's do.
Tables& tables() {
    static auto* t = new Tables;
    return *t;
}

// Entry points that read classes make sure the platform's classes are there first.
std::unique_lock<std::recursive_mutex> locked() {
    detail::seedPlatformClasses();
    return std::unique_lock<std::recursive_mutex>(detail::tableLock());
}

constexpr size_t kObjectHeaderSize = 8; // the class pointer every object starts with

} // namespace

// ---- Selectors ----

SEL selector(const std::string& name) {
    std::lock_guard guard(detail::tableLock());
    auto& slot = tables().selectors[name];
    if (!slot) slot = std::make_unique<SelectorInfo>(SelectorInfo{name});
    return slot.get();
}

const std::string& selectorName(SEL selector) {
    static const std::string* const none = new std::string("<null selector>");
    return selector ? selector->name : *none;
}

// ---- Classes ----

Class getClass(const std::string& name) {
    auto guard = locked();
    auto found = tables().classes.find(name);
    return found != tables().classes.end() && found->second->registered ? found->second.get() : nullptr;
}

const std::string& className(Class cls) {
    static const std::string* const none = new std::string("nil");
    return cls ? cls->name : *none;
}

Class superclass(Class cls) {
    return cls ? cls->superclass : nullptr;
}

Class metaclass(Class cls) {
    return cls && !cls->isMeta ? cls->meta : nullptr;
}

bool isMetaClass(Class cls) {
    return cls && cls->isMeta;
}

bool isRegistered(Class cls) {
    std::lock_guard guard(detail::tableLock());
    return cls && cls->registered;
}

size_t instanceSize(Class cls) {
    std::lock_guard guard(detail::tableLock());
    return cls ? cls->instanceSize : 0;
}

Id classObject(Class cls) {
    std::lock_guard guard(detail::tableLock());
    return cls && !cls->isMeta ? cls->classObject : nullptr;
}

Class allocateClassPair(Class super, const std::string& name, size_t extraBytes) {
    auto guard = locked();
    if (name.empty() || extraBytes != 0 || tables().classes.count(name)) return nullptr;
    if (super && (!super->registered || super->isMeta)) return nullptr;
    auto cls = std::make_unique<ClassInfo>();
    auto meta = std::make_unique<ClassInfo>();
    cls->name = meta->name = name;
    cls->superclass = super;
    meta->superclass = super ? super->meta : nullptr;
    meta->isMeta = true;
    cls->meta = meta.get();
    cls->instanceSize = super ? super->instanceSize : kObjectHeaderSize;
    cls->slotCount = super ? super->slotCount : 0;
    Class made = cls.get();
    tables().metaclasses.push_back(std::move(meta));
    tables().classes[name] = std::move(cls);
    return made;
}

void registerClassPair(Class cls) {
    std::lock_guard guard(detail::tableLock());
    if (!cls || cls->isMeta || cls->registered) return;
    cls->registered = true;
    cls->meta->registered = true;
    cls->classObject = std::make_shared<Instance>(cls->meta, 0);
}

void disposeClassPair(Class cls) {
    std::lock_guard guard(detail::tableLock());
    if (!cls || cls->isMeta || cls->registered) return;
    auto& metas = tables().metaclasses;
    metas.erase(
        std::remove_if(metas.begin(), metas.end(), [cls](const auto& m) { return m.get() == cls->meta; }),
        metas.end());
    tables().classes.erase(cls->name);
}

// ---- Methods ----

bool addMethod(Class cls, SEL name, IMP imp, const std::string& types) {
    std::lock_guard guard(detail::tableLock());
    if (!cls || !name || !imp || cls->methods.count(name)) return false;
    cls->methods[name] = std::make_unique<MethodInfo>(MethodInfo{name, std::move(imp), types});
    return true;
}

IMP replaceMethod(Class cls, SEL name, IMP imp, const std::string& types) {
    std::lock_guard guard(detail::tableLock());
    if (!cls || !name || !imp) return nullptr;
    auto& slot = cls->methods[name];
    if (!slot) {
        slot = std::make_unique<MethodInfo>(MethodInfo{name, std::move(imp), types});
        return nullptr;
    }
    IMP previous = std::move(slot->imp);
    slot->imp = std::move(imp);
    return previous;
}

Method getInstanceMethod(Class cls, SEL name) {
    auto guard = locked();
    for (Class c = cls; c && name; c = c->superclass) {
        auto found = c->methods.find(name);
        if (found != c->methods.end()) return found->second.get();
    }
    return nullptr;
}

Method getClassMethod(Class cls, SEL name) {
    if (!cls) return nullptr;
    return getInstanceMethod(cls->isMeta ? cls : cls->meta, name);
}

IMP methodImplementation(Method method) {
    std::lock_guard guard(detail::tableLock());
    return method ? method->imp : nullptr;
}

IMP methodSetImplementation(Method method, IMP imp) {
    std::lock_guard guard(detail::tableLock());
    if (!method || !imp) return nullptr;
    IMP previous = std::move(method->imp);
    method->imp = std::move(imp);
    return previous;
}

const std::string& methodTypeEncoding(Method method) {
    static const std::string* const none = new std::string;
    return method ? method->types : *none;
}

SEL methodName(Method method) {
    return method ? method->name : nullptr;
}

IMP classMethodImplementation(Class cls, SEL name) {
    return methodImplementation(getInstanceMethod(cls, name));
}

bool classRespondsToSelector(Class cls, SEL name) {
    return getInstanceMethod(cls, name) != nullptr;
}

// ---- Instance variables ----

bool addIvar(Class cls, const std::string& name, const std::string& types) {
    std::lock_guard guard(detail::tableLock());
    if (!cls || cls->isMeta || cls->registered || name.empty()) return false;
    std::optional<TypeInfo> type = typeFromEncoding(types);
    if (!type || type->size == 0) return false;
    for (Class c = cls; c; c = c->superclass)
        for (const auto& ivar : c->ivars)
            if (ivar->name == name) return false;
    auto ivar = std::make_unique<IvarInfo>();
    ivar->name = name;
    ivar->types = types;
    ivar->offset = (cls->instanceSize + type->alignment - 1) / type->alignment * type->alignment;
    ivar->slot = cls->slotCount++;
    cls->instanceSize = ivar->offset + type->size;
    cls->ivars.push_back(std::move(ivar));
    return true;
}

std::vector<Ivar> copyIvarList(Class cls) {
    std::lock_guard guard(detail::tableLock());
    std::vector<Ivar> list;
    if (cls)
        for (const auto& ivar : cls->ivars)
            list.push_back(ivar.get());
    return list;
}

const std::string& ivarName(Ivar ivar) {
    static const std::string* const none = new std::string;
    return ivar ? ivar->name : *none;
}

const std::string& ivarTypeEncoding(Ivar ivar) {
    static const std::string* const none = new std::string;
    return ivar ? ivar->types : *none;
}

size_t ivarOffset(Ivar ivar) {
    return ivar ? ivar->offset : 0;
}

// ---- Protocols ----

const Protocol* registerProtocol(const std::string& name, const std::vector<ProtocolMethod>& methods) {
    std::lock_guard guard(detail::tableLock());
    auto& slot = tables().protocols[name];
    if (!slot) slot = std::make_unique<Protocol>(Protocol{name, methods});
    return slot.get();
}

const Protocol* getProtocol(const std::string& name) {
    auto guard = locked();
    auto found = tables().protocols.find(name);
    return found == tables().protocols.end() ? nullptr : found->second.get();
}

const std::string& protocolName(const Protocol* protocol) {
    static const std::string* const none = new std::string;
    return protocol ? protocol->name : *none;
}

std::optional<MethodDescription> protocolMethodDescription(const Protocol* protocol, SEL name,
                                                           bool isRequired, bool isInstance) {
    if (!protocol || !name) return std::nullopt;
    for (const ProtocolMethod& method : protocol->methods)
        if (method.selector == selectorName(name) && method.required == isRequired &&
            method.instance == isInstance)
            return MethodDescription{name, method.types};
    return std::nullopt;
}

bool addProtocol(Class cls, const Protocol* protocol) {
    std::lock_guard guard(detail::tableLock());
    if (!cls || !protocol) return false;
    if (std::find(cls->protocols.begin(), cls->protocols.end(), protocol) != cls->protocols.end())
        return false;
    cls->protocols.push_back(protocol);
    return true;
}

bool classConformsToProtocol(Class cls, const Protocol* protocol) {
    std::lock_guard guard(detail::tableLock());
    for (Class c = cls; c && protocol; c = c->superclass)
        if (std::find(c->protocols.begin(), c->protocols.end(), protocol) != c->protocols.end()) return true;
    return false;
}

} // namespace plat::rt
