#include "platform/object/Object.h"

#include <chrono>

namespace plat {

Date Date::now() {
    using namespace std::chrono;
    return Date{duration<double>(system_clock::now().time_since_epoch()).count()};
}

Object::Object(std::string s) : kind_(Kind::String), payload_(std::make_shared<std::string>(std::move(s))) {}
Object::Object(plat::Data d) : kind_(Kind::Data), payload_(std::make_shared<plat::Data>(std::move(d))) {}
Object::Object(Array a) : kind_(Kind::Array), payload_(std::make_shared<Array>(std::move(a))) {}
Object::Object(Dict d) : kind_(Kind::Dict), payload_(std::make_shared<Dict>(std::move(d))) {}
Object::Object(plat::Opaque o)
    : kind_(Kind::Opaque), payload_(std::make_shared<plat::Opaque>(std::move(o))) {}

namespace {
// Shared empty values returned by reads of the wrong kind; created once, never destroyed.
template <typename T> const T& emptyValue() {
    static const T* value = new T();
    return *value;
}
} // namespace

const plat::Number& Object::number() const {
    return isNumber() ? number_ : emptyValue<plat::Number>();
}
const std::string& Object::string() const {
    return isString() ? *static_cast<const std::string*>(payload_.get()) : emptyValue<std::string>();
}
const plat::Data& Object::data() const {
    return isData() ? *static_cast<const plat::Data*>(payload_.get()) : emptyValue<plat::Data>();
}
const Object::Array& Object::array() const {
    return isArray() ? *static_cast<const Array*>(payload_.get()) : emptyValue<Array>();
}
const Object::Dict& Object::dict() const {
    return isDict() ? *static_cast<const Dict*>(payload_.get()) : emptyValue<Dict>();
}
const plat::Opaque& Object::opaque() const {
    return isOpaque() ? *static_cast<const plat::Opaque*>(payload_.get()) : emptyValue<plat::Opaque>();
}

Object::Array& Object::mutableArray() {
    if (!isArray())
        *this = Object(Array{});
    else if (payload_.use_count() > 1)
        payload_ = std::make_shared<Array>(array());
    return *static_cast<Array*>(payload_.get());
}

Object::Dict& Object::mutableDict() {
    if (!isDict())
        *this = Object(Dict{});
    else if (payload_.use_count() > 1)
        payload_ = std::make_shared<Dict>(dict());
    return *static_cast<Dict*>(payload_.get());
}

const Object& Object::operator[](std::string_view key) const {
    if (isDict()) {
        const Dict& d = dict();
        auto it = d.find(key);
        if (it != d.end()) return it->second;
    }
    return emptyValue<Object>();
}

const Object& Object::at(size_t index) const {
    if (isArray() && index < array().size()) return array()[index];
    return emptyValue<Object>();
}

bool Object::operator==(const Object& o) const {
    if (kind_ != o.kind_) return false;
    if (payload_ && payload_ == o.payload_) return true;
    switch (kind_) {
    case Kind::Absent:
    case Kind::Null:
        return true;
    case Kind::Number:
        return number_ == o.number_;
    case Kind::String:
        return string() == o.string();
    case Kind::Data:
        return data() == o.data();
    case Kind::Date:
        return date_ == o.date_;
    case Kind::Array:
        return array() == o.array();
    case Kind::Dict:
        return dict() == o.dict();
    case Kind::Opaque:
        return opaque() == o.opaque();
    }
    return false;
}

const char* Object::kindName(Kind kind) {
    switch (kind) {
    case Kind::Absent:
        return "absent";
    case Kind::Null:
        return "null";
    case Kind::Number:
        return "number";
    case Kind::String:
        return "string";
    case Kind::Data:
        return "data";
    case Kind::Date:
        return "date";
    case Kind::Array:
        return "array";
    case Kind::Dict:
        return "dictionary";
    case Kind::Opaque:
        return "opaque";
    }
    return "?";
}

std::string Object::debugDescription() const {
    switch (kind_) {
    case Kind::Absent:
        return "<absent>";
    case Kind::Null:
        return "<null>";
    case Kind::Number:
        if (number_.isBool()) return number_.boolValue() ? "true" : "false";
        return number_.stringValue();
    case Kind::String:
        return "\"" + string() + "\"";
    case Kind::Data:
        return "<" + std::to_string(data().size()) + " bytes>";
    case Kind::Date:
        return "<date " + plat::Number(date_.secondsSince1970).stringValue() + ">";
    case Kind::Opaque:
        return "<" + opaque().typeName + ">";
    case Kind::Array: {
        std::string out = "(";
        for (size_t i = 0; i < array().size(); ++i)
            out += (i ? ", " : "") + array()[i].debugDescription();
        return out + ")";
    }
    case Kind::Dict: {
        std::string out = "{";
        bool first = true;
        for (const auto& [k, v] : dict()) {
            out += (first ? "" : "; ") + k + " = " + v.debugDescription();
            first = false;
        }
        return out + "}";
    }
    }
    return "?";
}

} // namespace plat
