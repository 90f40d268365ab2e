#include "platform/foundation/KeyedArchiver.h"

#include "platform/foundation/KeyedArchiverLayout.h"
#include "platform/foundation/PropertyList.h"

#include <map>

namespace plat {

using namespace keyedarchive;

struct KeyedArchiver::State {
    Object::Array objects{Object(kNullEntry)};
    std::map<std::string, uint64_t> classes;
    std::optional<Error> error;
    int depth = 0;

    void fail(const std::string& message) {
        if (!error) error = Error::withMessage(kErrorDomain, kInvalidValueError, message);
    }

    uint64_t add(Object value) {
        objects.push_back(std::move(value));
        return objects.size() - 1;
    }

    uint64_t classUID(const std::string& name) {
        if (auto found = classes.find(name); found != classes.end()) return found->second;
        Object::Array chain{Object(name)};
        if (name != "NSObject") chain.emplace_back("NSObject");
        uint64_t index =
            add(Object::Dict{{kClassNameKey, Object(name)}, {kClassesKey, Object(std::move(chain))}});
        classes.emplace(name, index);
        return index;
    }

    // Adds an instance of a value class; its fields are filled in after its children are added.
    uint64_t addInstance(const std::string& className, Object::Dict fields) {
        fields[kClassKey] = uid(classUID(className));
        return add(Object(std::move(fields)));
    }

    uint64_t encodeValue(const Object& value) {
        if (value.isAbsent()) return 0;
        if (++depth > kMaxDepth) {
            fail("The object graph is nested too deeply to archive.");
            --depth;
            return 0;
        }
        uint64_t index = 0;
        switch (value.kind()) {
        case Object::Kind::Null:
            index = addInstance("NSNull", {});
            break;
        case Object::Kind::Number:
        case Object::Kind::String:
        case Object::Kind::Data:
            index = add(value);
            break;
        case Object::Kind::Date:
            index =
                addInstance("NSDate", {{"NS.time", Object(value.date().timeIntervalSinceReferenceDate())}});
            break;
        case Object::Kind::Array: {
            Object::Array refs;
            for (const Object& item : value.array())
                refs.push_back(uid(encodeValue(item)));
            index = addInstance("NSArray", {{"NS.objects", Object(std::move(refs))}});
            break;
        }
        case Object::Kind::Dict: {
            Object::Array keys, refs;
            for (const auto& [key, item] : value.dict()) {
                keys.push_back(uid(add(Object(key))));
                refs.push_back(uid(encodeValue(item)));
            }
            index = addInstance("NSDictionary", {{"NS.keys", Object(std::move(keys))},
                                                 {"NS.objects", Object(std::move(refs))}});
            break;
        }
        default:
            fail("Cannot archive a value of kind " + std::string(Object::kindName(value.kind())) + ".");
        }
        --depth;
        return index;
    }

    uint64_t encodeCoding(const SecureCoding& object, bool secure) {
        if (++depth > kMaxDepth) {
            fail("The object graph is nested too deeply to archive.");
            --depth;
            return 0;
        }
        // Reserve the slot first so the object precedes its fields, as readers expect.
        uint64_t index = add(Object());
        KeyedArchiver coder(*this, secure);
        object.encodeWithCoder(coder);
        coder.fields_[kClassKey] = uid(classUID(object.className()));
        objects[index] = Object(std::move(coder.fields_));
        --depth;
        return index;
    }

    std::optional<Data> finish(uint64_t root, Error* errorOut) {
        if (!error) {
            Object archive(Object::Dict{{kArchiverKey, Object(kArchiverName)},
                                        {kVersionKey, Object(kVersion)},
                                        {kTopKey, Object(Object::Dict{{kRootKey, uid(root)}})},
                                        {kObjectsKey, Object(std::move(objects))}});
            Error plistError;
            if (auto bytes = PropertyList::toBinary(archive, &plistError)) return toData(*bytes);
            error = Error::withMessage(kErrorDomain, kInvalidValueError, plistError.localizedDescription());
        }
        if (errorOut) *errorOut = *error;
        return std::nullopt;
    }
};

std::optional<Data> KeyedArchiver::archivedDataWithRootObject(const SecureCoding& root,
                                                              bool requiringSecureCoding, Error* error) {
    State state;
    uint64_t index = state.encodeCoding(root, requiringSecureCoding);
    return state.finish(index, error);
}

std::optional<Data> KeyedArchiver::archivedDataWithRootObject(const Object& root, bool, Error* error) {
    State state;
    uint64_t index = state.encodeValue(root);
    return state.finish(index, error);
}

void KeyedArchiver::encodeObject(const Object& value, const std::string& key) {
    if (value.isAbsent()) {
        fields_.erase(key);
        return;
    }
    fields_[key] = uid(state_.encodeValue(value));
}

void KeyedArchiver::encodeObject(const std::shared_ptr<const SecureCoding>& value, const std::string& key) {
    if (!value) {
        fields_.erase(key);
        return;
    }
    fields_[key] = uid(state_.encodeCoding(*value, requiresSecureCoding_));
}

void KeyedArchiver::encodeBool(bool value, const std::string& key) {
    fields_[key] = Object(value);
}
void KeyedArchiver::encodeInt64(int64_t value, const std::string& key) {
    fields_[key] = Object(value);
}
void KeyedArchiver::encodeDouble(double value, const std::string& key) {
    fields_[key] = Object(value);
}

} // namespace plat
