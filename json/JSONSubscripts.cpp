#include "json/JSON.h"

#include <vector>

using plat::Object;

JSON JSON::failure(JSONError error) {
    JSON value;
    value.error_ = error;
    return value;
}

JSON JSON::element(int64_t index) const {
    if (type_ != Type::array) return failure(error_.value_or(JSONError::wrongType));
    const plat::Array& elements = raw_.array();
    if (index < 0 || static_cast<uint64_t>(index) >= elements.size())
        return failure(JSONError::indexOutOfBounds);
    return JSON(elements[static_cast<size_t>(index)]);
}

JSON JSON::operator[](std::string_view key) const {
    if (type_ != Type::dictionary) return failure(error_.value_or(JSONError::wrongType));
    const plat::Dict& entries = raw_.dict();
    auto found = entries.find(key);
    if (found == entries.end()) return failure(JSONError::notExist);
    return JSON(found->second);
}

JSON JSON::step(const JSONKey& key) const {
    return key.kind == JSONKey::Case::index ? element(key.index) : (*this)[std::string_view(key.key)];
}

JSON JSON::operator[](std::initializer_list<JSONSubscriptType> path) const {
    return (*this)[std::span<const JSONSubscriptType>(path.begin(), path.size())];
}

JSON JSON::operator[](const std::vector<JSONSubscriptType>& path) const {
    return (*this)[std::span<const JSONSubscriptType>(path)];
}

JSON JSON::operator[](std::span<const JSONSubscriptType> path) const {
    if (path.empty()) return *this;
    JSON current = step(path.front().jsonKey());
    for (size_t i = 1; i < path.size(); ++i) {
        // Once a step has failed every later step only carries its error along.
        if (current.error_) return failure(*current.error_);
        current = current.step(path[i].jsonKey());
    }
    return current;
}

void JSON::setIndex(int64_t index, const JSON& value) {
    if (type_ != Type::array || value.error_) return;
    if (index < 0 || static_cast<uint64_t>(index) >= raw_.array().size()) return;
    Object stored = value.object();
    raw_.mutableArray()[static_cast<size_t>(index)] = std::move(stored);
}

void JSON::setKey(const std::string& key, const JSON& value) {
    if (type_ != Type::dictionary || value.error_) return;
    Object stored = value.object();
    raw_.mutableDict().insert_or_assign(key, std::move(stored));
}

void JSON::setStep(const JSONKey& key, const JSON& value) {
    if (key.kind == JSONKey::Case::index)
        setIndex(key.index, value);
    else
        setKey(key.key, value);
}

void JSON::set(std::initializer_list<JSONSubscriptType> path, const JSON& value) {
    set(std::span<const JSONSubscriptType>(path.begin(), path.size()), value);
}

void JSON::set(const std::vector<JSONSubscriptType>& path, const JSON& value) {
    set(std::span<const JSONSubscriptType>(path), value);
}

void JSON::set(std::span<const JSONSubscriptType> path, const JSON& value) {
    if (path.empty()) return;
    // Read the containers down to the last one. A failed step means the write-back further up
    // would be refused anyway, so nothing changes; stopping early also bounds the work for long
    // paths without recursion.
    std::vector<JSON> containers;
    containers.reserve(path.size() - 1);
    const JSON* parent = this;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        JSON next = parent->step(path[i].jsonKey());
        if (next.error_) return;
        containers.push_back(std::move(next));
        parent = &containers.back();
    }
    // The last element: take only the new value's raw value, never its error.
    JSON* owner = containers.empty() ? this : &containers.back();
    JSON target = owner->step(path.back().jsonKey());
    target.setObject(value.object());
    owner->setStep(path.back().jsonKey(), target);
    // Write every changed container back into its parent, innermost first.
    for (size_t i = containers.size(); i-- > 0;) {
        JSON& holder = i == 0 ? *this : containers[i - 1];
        holder.setStep(path[i].jsonKey(), containers[i]);
    }
}
