// One element of a JSON path: a position in an array or a key of a dictionary. Integers of any
// width and texts convert to it implicitly, so paths read as `json[{"regions", 0, "city"}]`.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// What a path element selects.
struct JSONKey {
    enum class Case : uint8_t { index, key };

    Case kind = Case::index;
    int64_t index = 0; // meaningful for Case::index
    std::string key;   // meaningful for Case::key

    static JSONKey makeIndex(int64_t i) { return JSONKey{Case::index, i, {}}; }
    static JSONKey makeKey(std::string k) { return JSONKey{Case::key, 0, std::move(k)}; }
    bool operator==(const JSONKey&) const = default;
};

class JSONSubscriptType {
public:
    // Unsigned positions beyond the signed range become the largest index, which is never in
    // bounds, instead of wrapping round to a negative one.
    template <std::integral T>
    requires(!std::is_same_v<T, bool> && !std::is_same_v<T, char>) JSONSubscriptType(T index) {
        if constexpr (std::is_unsigned_v<T>) {
            key_ = JSONKey::makeIndex(static_cast<uint64_t>(index) > static_cast<uint64_t>(INT64_MAX)
                                          ? INT64_MAX
                                          : static_cast<int64_t>(index));
        } else {
            key_ = JSONKey::makeIndex(static_cast<int64_t>(index));
        }
    }
    // A null pointer counts as the empty key rather than undefined behaviour.
    JSONSubscriptType(const char* key) : key_(JSONKey::makeKey(key ? std::string(key) : std::string())) {}
    JSONSubscriptType(std::string key) : key_(JSONKey::makeKey(std::move(key))) {}
    JSONSubscriptType(std::string_view key) : key_(JSONKey::makeKey(std::string(key))) {}

    const JSONKey& jsonKey() const { return key_; }

private:
    JSONKey key_;
};
