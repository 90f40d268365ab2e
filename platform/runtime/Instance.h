// An object of the runtime: its class (which can be swapped), the slots of its instance variables
// and its associated objects. Made by createInstance; used through the runtime's functions.
#pragma once

#include "platform/runtime/Runtime.h"
#include "platform/runtime/RuntimeTypes.h"

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace plat::rt {

class Instance : public std::enable_shared_from_this<Instance> {
public:
    explicit Instance(Class cls, size_t slots) : isa_(cls), slots_(slots) {}
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    Class isa() const { return isa_.load(); }

private:
    friend Class objectSetClass(const Id& object, Class cls);
    friend Value getIvar(const Id& object, Ivar ivar);
    friend void setIvar(const Id& object, Ivar ivar, Value value);
    friend void setAssociatedObject(const Id& object, const void* key, Value value, AssociationPolicy policy);
    friend Value getAssociatedObject(const Id& object, const void* key);

    struct Association {
        Value strong;
        WeakId weak; // objects kept with the Assign policy
        bool isWeak = false;
    };

    std::atomic<Class> isa_;
    std::mutex lock_;
    std::vector<Value> slots_;
    std::map<const void*, Association> associations_;
};

} // namespace plat::rt
