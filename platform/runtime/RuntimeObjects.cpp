#include "platform/runtime/Instance.h"
#include "platform/runtime/RuntimeTables.h"

#include <cstdio>
#include <unwind.h>
#include <utility>

namespace plat::rt {

namespace {

struct StackWalk {
    std::vector<uint64_t>* addresses;
    size_t skip;
};

_Unwind_Reason_Code addReturnAddress(struct _Unwind_Context* context, void* argument) {
    auto* walk = static_cast<StackWalk*>(argument);
    const uintptr_t address = _Unwind_GetIP(context);
    if (address == 0) return _URC_END_OF_STACK;
    if (walk->skip > 0) {
        --walk->skip;
        return _URC_NO_REASON;
    }
    walk->addresses->push_back(address);
    return walk->addresses->size() < 128 ? _URC_NO_REASON : _URC_END_OF_STACK;
}

} // namespace

RuntimeException::RuntimeException(std::string name, const std::string& reason)
    : std::runtime_error(reason), name_(std::move(name)) {
    // The unwinder the exceptions use anyway; the C library's backtrace() would load it a second
    // time. The first frame is this constructor's own.
    callStackReturnAddresses_.reserve(32);
    StackWalk walk{&callStackReturnAddresses_, 1};
    _Unwind_Backtrace(addReturnAddress, &walk);
}

// ---- Values ----

Id Value::object() const {
    const Id* object = std::get_if<Id>(&storage);
    return object ? *object : nullptr;
}

Block Value::block() const {
    const Block* block = std::get_if<Block>(&storage);
    return block ? *block : nullptr;
}

SEL Value::selector() const {
    const SEL* selector = std::get_if<SEL>(&storage);
    return selector ? *selector : nullptr;
}

Class Value::cls() const {
    const Class* cls = std::get_if<Class>(&storage);
    return cls ? *cls : nullptr;
}

bool Value::boolValue() const {
    const plat::Object* plain = this->plain();
    return plain && plain->isNumber() && plain->number().boolValue();
}

bool Value::operator==(const Value& other) const {
    return storage == other.storage;
}

Block makeBlock(std::function<Value(const Arguments& arguments)> body) {
    return std::make_shared<const BlockBody>(BlockBody{std::move(body)});
}

IMP makeImplementation(std::function<Value(const Id& self, SEL cmd, const Arguments& arguments)> body) {
    return std::make_shared<const Implementation>(Implementation{std::move(body)});
}

IMP implementationWithBlock(MethodBlock block) {
    if (!block) return nullptr;
    return makeImplementation([block = std::move(block)](const Id& self, SEL, const Arguments& arguments) {
        return block(self, arguments);
    });
}

// ---- Objects ----

Id createInstance(Class cls) {
    detail::seedPlatformClasses();
    std::lock_guard guard(detail::tableLock());
    if (!cls || cls->isMeta || !cls->registered) return nullptr;
    return std::make_shared<Instance>(cls, cls->slotCount);
}

Class objectGetClass(const Id& object) {
    return object ? object->isa() : nullptr;
}

Class objectSetClass(const Id& object, Class cls) {
    if (!object || !cls) return nullptr;
    std::lock_guard guard(object->lock_);
    {
        std::lock_guard tables(detail::tableLock());
        if (object->slots_.size() < cls->slotCount) object->slots_.resize(cls->slotCount);
    }
    return object->isa_.exchange(cls);
}

Value getIvar(const Id& object, Ivar ivar) {
    if (!object || !ivar) return Value();
    std::lock_guard guard(object->lock_);
    return ivar->slot < object->slots_.size() ? object->slots_[ivar->slot] : Value();
}

void setIvar(const Id& object, Ivar ivar, Value value) {
    if (!object || !ivar) return;
    Value previous;
    {
        std::lock_guard guard(object->lock_);
        if (ivar->slot >= object->slots_.size()) object->slots_.resize(ivar->slot + 1);
        previous = std::exchange(object->slots_[ivar->slot], std::move(value));
    }
    // `previous` may hold the last reference of an object; it goes outside the lock.
}

void setAssociatedObject(const Id& object, const void* key, Value value, AssociationPolicy policy) {
    if (!object || !key) return;
    Instance::Association previous;
    {
        std::lock_guard guard(object->lock_);
        auto found = object->associations_.find(key);
        if (found != object->associations_.end()) {
            previous = std::move(found->second);
            object->associations_.erase(found);
        }
        if (!value.isNil()) {
            Instance::Association association;
            if (policy == AssociationPolicy::Assign && value.object()) {
                association.weak = value.object();
                association.isWeak = true;
            } else {
                association.strong = std::move(value);
            }
            object->associations_.emplace(key, std::move(association));
        }
    }
}

Value getAssociatedObject(const Id& object, const void* key) {
    if (!object || !key) return Value();
    std::lock_guard guard(object->lock_);
    auto found = object->associations_.find(key);
    if (found == object->associations_.end()) return Value();
    return found->second.isWeak ? Value(found->second.weak.lock()) : found->second.strong;
}

// ---- Messaging ----

Value sendMessage(const Id& receiver, SEL name, const Arguments& arguments) {
    if (!receiver) return Value();
    IMP imp = classMethodImplementation(receiver->isa(), name);
    if (!imp) {
        Class cls = receiver->isa();
        std::string prefix = isMetaClass(cls) ? "+[" : "-[";
        char address[32];
        std::snprintf(address, sizeof address, "%p", static_cast<const void*>(receiver.get()));
        throw RuntimeException("NSInvalidArgumentException",
                               prefix + className(cls) + " " + selectorName(name) +
                                   "]: unrecognized selector sent to " +
                                   (isMetaClass(cls) ? "class " : "instance ") + address);
    }
    return imp->body(receiver, name, arguments);
}

Value sendMessage(const Id& receiver, const std::string& name, const Arguments& arguments) {
    return sendMessage(receiver, selector(name), arguments);
}

bool respondsToSelector(const Id& object, SEL name) {
    return object && classRespondsToSelector(object->isa(), name);
}

bool conformsToProtocol(const Id& object, const Protocol* protocol) {
    return object && classConformsToProtocol(object->isa(), protocol);
}

std::string defaultDescription(const Id& object) {
    if (!object) return "(null)";
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(object.get()));
    return "<" + className(object->isa()) + ": " + address + ">";
}

} // namespace plat::rt
