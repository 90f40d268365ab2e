// A thread-safe key-value cache with an optional count limit: when the limit is passed, the entry
// used least recently is dropped. A read counts as a use. Values are copied in and out, so share
// large values through pointers.
#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace plat {

template <typename Key, typename Value, typename Hash = std::hash<Key>> class LRUCache {
public:
    // 0 means no limit.
    explicit LRUCache(size_t countLimit = 0) : countLimit_(countLimit) {}

    std::optional<Value> objectForKey(const Key& key) {
        std::lock_guard guard(lock_);
        auto found = index_.find(key);
        if (found == index_.end()) return std::nullopt;
        order_.splice(order_.begin(), order_, found->second);
        return found->second->second;
    }

    void setObject(Value value, const Key& key) {
        std::lock_guard guard(lock_);
        if (auto found = index_.find(key); found != index_.end()) {
            found->second->second = std::move(value);
            order_.splice(order_.begin(), order_, found->second);
        } else {
            order_.emplace_front(key, std::move(value));
            index_.emplace(key, order_.begin());
        }
        trimLocked();
    }

    void removeObjectForKey(const Key& key) {
        std::lock_guard guard(lock_);
        if (auto found = index_.find(key); found != index_.end()) {
            order_.erase(found->second);
            index_.erase(found);
        }
    }

    // Removes the entry only while it still holds `expected`, so a newer value set meanwhile stays.
    bool removeObjectForKeyIfEqual(const Key& key, const Value& expected) {
        std::lock_guard guard(lock_);
        auto found = index_.find(key);
        if (found == index_.end() || !(found->second->second == expected)) return false;
        order_.erase(found->second);
        index_.erase(found);
        return true;
    }

    void removeAllObjects() {
        std::lock_guard guard(lock_);
        order_.clear();
        index_.clear();
    }

    size_t count() const {
        std::lock_guard guard(lock_);
        return order_.size();
    }
    size_t countLimit() const {
        std::lock_guard guard(lock_);
        return countLimit_;
    }
    void setCountLimit(size_t limit) {
        std::lock_guard guard(lock_);
        countLimit_ = limit;
        trimLocked();
    }

private:
    void trimLocked() {
        while (countLimit_ > 0 && order_.size() > countLimit_) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
    }

    mutable std::mutex lock_;
    size_t countLimit_;
    std::list<std::pair<Key, Value>> order_; // most recently used first
    std::unordered_map<Key, typename std::list<std::pair<Key, Value>>::iterator, Hash> index_;
};

} // namespace plat
