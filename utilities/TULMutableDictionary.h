// A dictionary from strings to values that keeps its contents on its own serial queue: reads wait
// for the queue (so they see every earlier write of the same thread), writes are queued and return
// at once. Enumerations go through `dictionary()`, a snapshot in key order. Thread-safe; reading
// from a block of the dictionary's own queue is not allowed.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <type_traits>

template <typename Value> class TULMutableDictionary {
public:
    TULMutableDictionary() : queue_(plat::DispatchQueue::serial("TULMutableDictionary")) {}
    TULMutableDictionary(const TULMutableDictionary&) = delete;
    TULMutableDictionary& operator=(const TULMutableDictionary&) = delete;
    ~TULMutableDictionary() {
        // Queued writes touch the contents; they must be done before the contents go.
        queue_.sync([] {});
    }

    std::optional<Value> objectForKey(const std::string& key) const {
        std::optional<Value> found;
        queue_.sync([&] {
            auto it = objects_.find(key);
            if (it != objects_.end()) found = it->second;
        });
        return found;
    }
    std::optional<Value> operator[](const std::string& key) const { return objectForKey(key); }
    size_t count() const {
        size_t answer = 0;
        queue_.sync([&] { answer = objects_.size(); });
        return answer;
    }
    // A copy of the contents.
    std::map<std::string, Value> dictionary() const {
        std::map<std::string, Value> copy;
        queue_.sync([&] { copy = objects_; });
        return copy;
    }
    // "{ key = value; ... }"; shared objects are shown by their address.
    std::string description() const {
        std::string text = "{";
        for (const auto& [key, value] : dictionary())
            text += " " + key + " = " + describe(value) + ";";
        return text + (text.size() > 1 ? " }" : "}");
    }

    void setObject(Value value, const std::string& key) {
        queue_.async([this, value = std::move(value), key] { objects_[key] = value; });
    }
    void removeObjectForKey(const std::string& key) {
        queue_.async([this, key] { objects_.erase(key); });
    }
    void removeAllObjects() {
        queue_.async([this] { objects_.clear(); });
    }

private:
    static std::string describe(const Value& value) {
        if constexpr (std::is_convertible_v<const Value&, std::string>) {
            return std::string(value);
        } else if constexpr (std::is_arithmetic_v<Value>) {
            return std::to_string(value);
        } else if constexpr (requires { value.get(); }) {
            char address[32];
            std::snprintf(address, sizeof address, "<%p>", static_cast<const void*>(value.get()));
            return address;
        } else {
            return "<value>";
        }
    }

    plat::DispatchQueue queue_;
    std::map<std::string, Value> objects_;
};
