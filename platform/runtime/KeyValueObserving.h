// Observing a property of a runtime object: an observer hears each change of the key with the old
// and the new value, on the thread that made the change. The object's setter announces changes.
// Thread-safe; observers run outside the lock, so they may add or remove observers.
#pragma once

#include "platform/runtime/RuntimeTypes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace plat::rt {

struct KeyValueChange {
    Value oldValue;
    Value newValue;
};

using KeyValueObserver =
    std::function<void(const Id& object, const std::string& keyPath, const KeyValueChange& change)>;

// Starts observing `keyPath` of `object` (held weakly); answers the token that stops it.
uint64_t addObserver(const Id& object, const std::string& keyPath, KeyValueObserver observer);
void removeObserver(uint64_t token);
// Called by setters after a change.
void didChangeValueForKey(const Id& object, const std::string& keyPath, const Value& oldValue,
                          const Value& newValue);

} // namespace plat::rt
