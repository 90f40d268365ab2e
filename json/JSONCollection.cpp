#include "json/JSON.h"

#include <string>

bool operator==(const JSON::Index& a, const JSON::Index& b) {
    if (a.case_ != b.case_) return false;
    return a.case_ == JSON::Index::Case::null || a.offset_ == b.offset_;
}

bool operator<(const JSON::Index& a, const JSON::Index& b) {
    if (a.case_ != b.case_ || a.case_ == JSON::Index::Case::null) return false;
    return a.offset_ < b.offset_;
}

JSON::Index JSON::startIndex() const {
    Index index;
    if (type_ == Type::array) {
        index.case_ = Index::Case::array;
    } else if (type_ == Type::dictionary) {
        index.case_ = Index::Case::dictionary;
        index.owner_ = raw_;
        index.position_ = index.owner_.dict().begin();
    }
    return index;
}

JSON::Index JSON::endIndex() const {
    Index index;
    if (type_ == Type::array) {
        index.case_ = Index::Case::array;
        index.offset_ = static_cast<int64_t>(raw_.array().size());
    } else if (type_ == Type::dictionary) {
        index.case_ = Index::Case::dictionary;
        index.owner_ = raw_;
        index.offset_ = static_cast<int64_t>(raw_.dict().size());
        index.position_ = index.owner_.dict().end();
    }
    return index;
}

void JSON::formIndex(Index& after) const {
    switch (after.case_) {
    case Index::Case::array:
        ++after.offset_;
        break;
    case Index::Case::dictionary:
        // Never step past the end of the storage, whatever index is passed in.
        if (after.position_ == after.owner_.dict().end()) return;
        ++after.position_;
        ++after.offset_;
        break;
    case Index::Case::null:
        break;
    }
}

JSON::Index JSON::index(const Index& after) const {
    Index next = after;
    formIndex(next);
    return next;
}

JSON::Index JSON::index(const Index& i, int64_t offsetBy) const {
    Index result = i;
    Index end = endIndex();
    for (int64_t n = 0; n < offsetBy && result < end; ++n)
        formIndex(result);
    return result;
}

std::optional<JSON::Index> JSON::index(const Index& i, int64_t offsetBy, const Index& limitedBy) const {
    Index result = i;
    Index end = endIndex();
    for (int64_t n = 0; n < offsetBy; ++n) {
        if (result == limitedBy || !(result < end)) return std::nullopt;
        formIndex(result);
    }
    return result;
}

int64_t JSON::distance(const Index& from, const Index& to) const {
    if (from.case_ != to.case_) return 0;
    return to.offset_ - from.offset_;
}

JSON::Element JSON::operator[](const Index& position) const {
    switch (position.case_) {
    case Index::Case::array:
        if (type_ == Type::array && position.offset_ >= 0 &&
            static_cast<uint64_t>(position.offset_) < raw_.array().size()) {
            return {std::to_string(position.offset_),
                    JSON(raw_.array()[static_cast<size_t>(position.offset_)])};
        }
        break;
    case Index::Case::dictionary:
        // Only a position inside this value's own storage is read.
        if (type_ == Type::dictionary && &position.owner_.dict() == &raw_.dict() &&
            position.position_ != raw_.dict().end()) {
            return {position.position_->first, JSON(position.position_->second)};
        }
        break;
    case Index::Case::null:
        break;
    }
    return {std::string(), JSON::null()};
}

std::vector<JSON::Index> JSON::indices() const {
    std::vector<Index> all;
    all.reserve(count());
    for (Index i = startIndex(), end = endIndex(); i < end; formIndex(i))
        all.push_back(i);
    return all;
}

std::vector<JSON::Element> JSON::slice(const Index& from, const Index& to) const {
    std::vector<Element> elements;
    for (Index i = from; i < to && i < endIndex(); formIndex(i))
        elements.push_back((*this)[i]);
    return elements;
}

size_t JSON::count() const {
    if (type_ == Type::array) return raw_.array().size();
    if (type_ == Type::dictionary) return raw_.dict().size();
    return 0;
}

JSON::Iterator JSON::begin() const {
    return Iterator(this, startIndex());
}
JSON::Iterator JSON::end() const {
    return Iterator(this, endIndex());
}
