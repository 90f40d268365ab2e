// The value a row or a picker entry stands for: an integer or a text. Selections compare tags, so an
// entry tagged 7 matches a selection of 7 whatever integer type the screen keeps it in.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

namespace plat::ui {

class Tag {
public:
    Tag() = default; // no tag
    template <std::integral I>
    requires(!std::is_same_v<I, bool>) Tag(I v) : value_(static_cast<std::int64_t>(v)) {}
    Tag(std::string s) : value_(std::move(s)) {}
    Tag(const char* s) : value_(std::string(s)) {}

    bool isNone() const { return std::holds_alternative<std::monostate>(value_); }
    std::optional<std::int64_t> integer() const {
        if (auto* v = std::get_if<std::int64_t>(&value_)) return *v;
        return std::nullopt;
    }
    std::optional<std::string> string() const {
        if (auto* v = std::get_if<std::string>(&value_)) return *v;
        return std::nullopt;
    }
    // "7", "\"en\"" or "none".
    std::string description() const {
        if (auto i = integer()) return std::to_string(*i);
        if (auto s = string()) return "\"" + *s + "\"";
        return "none";
    }
    bool operator==(const Tag&) const = default;

private:
    std::variant<std::monostate, std::int64_t, std::string> value_;
};

// Converts between a screen's own selection type and tags (integers, strings and enums).
template <typename T> struct TagTraits {
    static Tag toTag(const T& v) {
        if constexpr (std::is_enum_v<T>)
            return Tag(static_cast<std::int64_t>(v));
        else
            return Tag(v);
    }
    static std::optional<T> fromTag(const Tag& t) {
        if constexpr (std::is_enum_v<T>) {
            if (auto i = t.integer()) return static_cast<T>(*i);
            return std::nullopt;
        } else if constexpr (std::is_integral_v<T>) {
            if (auto i = t.integer()) return static_cast<T>(*i);
            return std::nullopt;
        } else {
            if (auto s = t.string()) return T(*s);
            return std::nullopt;
        }
    }
};

} // namespace plat::ui
