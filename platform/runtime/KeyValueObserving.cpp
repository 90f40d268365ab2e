#include "platform/runtime/KeyValueObserving.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace plat::rt {

namespace {

struct Observation {
    WeakId object;
    const Instance* address = nullptr;
    std::string keyPath;
    std::shared_ptr<const KeyValueObserver> observer;
};

struct Registry {
    std::mutex lock;
    uint64_t next = 1;
    std::map<uint64_t, Observation> observations;
};

Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

} // namespace

uint64_t addObserver(const Id& object, const std::string& keyPath, KeyValueObserver observer) {
    if (!object || !observer) return 0;
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    uint64_t token = r.next++;
    r.observations[token] = Observation{object, object.get(), keyPath,
                                        std::make_shared<const KeyValueObserver>(std::move(observer))};
    return token;
}

void removeObserver(uint64_t token) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.observations.erase(token);
}

void didChangeValueForKey(const Id& object, const std::string& keyPath, const Value& oldValue,
                          const Value& newValue) {
    if (!object) return;
    std::vector<std::shared_ptr<const KeyValueObserver>> observers;
    {
        Registry& r = registry();
        std::lock_guard guard(r.lock);
        for (auto it = r.observations.begin(); it != r.observations.end();) {
            if (it->second.object.expired()) {
                it = r.observations.erase(it); // the object went away
                continue;
            }
            if (it->second.address == object.get() && it->second.keyPath == keyPath)
                observers.push_back(it->second.observer);
            ++it;
        }
    }
    KeyValueChange change{oldValue, newValue};
    for (const auto& observer : observers)
        (*observer)(object, keyPath, change);
}

} // namespace plat::rt
