#include "platform/foundation/KeyedUnarchiver.h"

#include "platform/foundation/KeyedArchiverLayout.h"
#include "platform/foundation/PropertyList.h"

namespace plat {

using namespace keyedarchive;

namespace {

// Every object read costs one step; shared references cannot multiply an archive past this.
constexpr size_t kMaxSteps = 200000;

} // namespace

struct KeyedUnarchiver::State {
    Object archive; // keeps `objects` alive
    const Object::Array* objects = nullptr;
    std::optional<Error> error;
    int depth = 0;
    size_t steps = 0;

    void fail(int64_t code, const std::string& message) {
        if (!error) error = Error::withMessage(KeyedArchiver::kErrorDomain, code, message);
    }

    bool open(const Data& data) {
        Error plistError;
        archive = PropertyList::fromBytes(
            std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), &plistError);
        if (archive.isAbsent()) {
            fail(KeyedArchiver::kReadCorruptError,
                 "The data isn’t in the correct format: " + plistError.localizedDescription());
            return false;
        }
        if (!archive[kObjectsKey].isArray() || !archive[kTopKey].isDict() ||
            !archive[kArchiverKey].isString()) {
            fail(KeyedArchiver::kReadCorruptError, "The data isn’t a keyed archive.");
            return false;
        }
        objects = &archive[kObjectsKey].array();
        return true;
    }

    // The entry a reference names; null (after failing) for a damaged reference. UID 0 is nil and
    // answers null without failing.
    const Object* resolve(const Object& reference) {
        int64_t index = uidIndex(reference);
        if (index < 0 || uint64_t(index) >= objects->size()) {
            fail(KeyedArchiver::kReadCorruptError, "The archive holds a reference outside its object table.");
            return nullptr;
        }
        if (index == 0) return nullptr;
        if (++steps > kMaxSteps) {
            fail(KeyedArchiver::kReadCorruptError, "The archive holds too many objects.");
            return nullptr;
        }
        return &(*objects)[size_t(index)];
    }

    std::string classNameOf(const Object& instance) {
        int64_t index = uidIndex(instance[kClassKey]);
        if (index <= 0 || uint64_t(index) >= objects->size()) return {};
        const Object& name = (*objects)[size_t(index)][kClassNameKey];
        return name.isString() ? name.string() : std::string();
    }

    void unexpectedClass(const std::string& key, const std::string& found, const std::string& allowed) {
        if (!error) error = KeyedUnarchiver::unexpectedClassError(key, found, allowed);
    }

    Object decodePlain(const Object& reference, const std::string& key) {
        if (uidIndex(reference) == 0) return Object();
        const Object* entry = resolve(reference);
        if (!entry) return Object();
        if (!entry->isDict()) return *entry; // strings, numbers and data stand for themselves
        if (depth >= kMaxDepth) {
            fail(KeyedArchiver::kReadCorruptError, "The archive is nested too deeply.");
            return Object();
        }
        ++depth;
        Object out = decodeInstance(*entry, key);
        --depth;
        return error ? Object() : out;
    }

    Object decodeInstance(const Object& instance, const std::string& key) {
        const std::string name = classNameOf(instance);
        if (name == "NSNull") return Object::null();
        if (name == "NSString" || name == "NSMutableString") {
            const Object& s = instance["NS.string"];
            if (s.isString()) return s;
        } else if (name == "NSData" || name == "NSMutableData") {
            const Object& d = instance["NS.data"];
            if (d.isData()) return d;
        } else if (name == "NSDate") {
            const Object& t = instance["NS.time"];
            if (t.isNumber()) return Object(Date::fromReferenceDate(t.number().doubleValue()));
        } else if (name == "NSArray" || name == "NSMutableArray") {
            const Object& refs = instance["NS.objects"];
            if (refs.isArray()) {
                Object::Array items;
                for (const Object& ref : refs.array()) {
                    items.push_back(decodePlain(ref, key));
                    if (error) return Object();
                }
                return Object(std::move(items));
            }
        } else if (name == "NSDictionary" || name == "NSMutableDictionary") {
            const Object& keys = instance["NS.keys"];
            const Object& refs = instance["NS.objects"];
            if (keys.isArray() && refs.isArray() && keys.array().size() == refs.array().size()) {
                Object::Dict dict;
                for (size_t i = 0; i < keys.array().size(); ++i) {
                    Object k = decodePlain(keys.array()[i], key);
                    Object v = decodePlain(refs.array()[i], key);
                    if (error) return Object();
                    if (!k.isString()) {
                        unexpectedClass(key, "a non-string dictionary key", "NSString");
                        return Object();
                    }
                    dict[k.string()] = std::move(v);
                }
                return Object(std::move(dict));
            }
        } else {
            unexpectedClass(key, name, "NSArray, NSData, NSDate, NSDictionary, NSNull, NSNumber, NSString");
            return Object();
        }
        fail(KeyedArchiver::kReadCorruptError, "The archived " + name + " for key '" + key + "' is damaged.");
        return Object();
    }

    std::shared_ptr<SecureCoding> decodeCoding(const Object& reference, const SecureCodingClass& objectClass,
                                               const std::string& key) {
        if (uidIndex(reference) == 0) return nullptr;
        const Object* entry = resolve(reference);
        if (!entry) return nullptr;
        std::string found =
            entry->isDict() ? classNameOf(*entry) : std::string(Object::kindName(entry->kind()));
        if (found != objectClass.name) {
            unexpectedClass(key, found, objectClass.name);
            return nullptr;
        }
        if (depth >= kMaxDepth) {
            fail(KeyedArchiver::kReadCorruptError, "The archive is nested too deeply.");
            return nullptr;
        }
        ++depth;
        KeyedUnarchiver coder(*this, entry->dict());
        std::shared_ptr<SecureCoding> object = objectClass.make ? objectClass.make(coder) : nullptr;
        --depth;
        if (error) return nullptr;
        if (!object)
            fail(KeyedArchiver::kReadCorruptError,
                 "The " + objectClass.name + " for key '" + key + "' could not be restored.");
        return object;
    }
};

std::shared_ptr<SecureCoding> KeyedUnarchiver::unarchivedObjectOfClass(const SecureCodingClass& objectClass,
                                                                       const Data& data, Error* error) {
    State state;
    std::shared_ptr<SecureCoding> root;
    if (state.open(data)) root = state.decodeCoding(state.archive[kTopKey][kRootKey], objectClass, kRootKey);
    if (state.error) {
        if (error) *error = *state.error;
        return nullptr;
    }
    return root;
}

Object KeyedUnarchiver::unarchivedPlainObject(const Data& data, Error* error) {
    State state;
    Object root;
    if (state.open(data)) root = state.decodePlain(state.archive[kTopKey][kRootKey], kRootKey);
    if (state.error) {
        if (error) *error = *state.error;
        return Object();
    }
    return root;
}

Error KeyedUnarchiver::unexpectedClassError(const std::string& key, const std::string& found,
                                            const std::string& expected) {
    return Error::withMessage(KeyedArchiver::kErrorDomain, KeyedArchiver::kReadCorruptError,
                              "value for key '" + key + "' was of unexpected class '" + found +
                                  "'. Allowed classes are '{(" + expected + ")}'.");
}

bool KeyedUnarchiver::containsValueForKey(const std::string& key) const {
    return fields_.count(key) > 0;
}

Object KeyedUnarchiver::decodeObjectForKey(const std::string& key) {
    auto found = fields_.find(key);
    if (found == fields_.end()) return Object();
    if (uidIndex(found->second) < 0) return found->second; // a value written inline
    return state_.decodePlain(found->second, key);
}

std::shared_ptr<SecureCoding> KeyedUnarchiver::decodeObjectOfClass(const SecureCodingClass& objectClass,
                                                                   const std::string& key) {
    auto found = fields_.find(key);
    if (found == fields_.end()) return nullptr;
    return state_.decodeCoding(found->second, objectClass, key);
}

bool KeyedUnarchiver::decodeBoolForKey(const std::string& key) const {
    auto found = fields_.find(key);
    return found != fields_.end() && found->second.isNumber() && found->second.number().boolValue();
}

int64_t KeyedUnarchiver::decodeInt64ForKey(const std::string& key) const {
    auto found = fields_.find(key);
    return found != fields_.end() && found->second.isNumber() ? found->second.number().int64Value() : 0;
}

double KeyedUnarchiver::decodeDoubleForKey(const std::string& key) const {
    auto found = fields_.find(key);
    return found != fields_.end() && found->second.isNumber() ? found->second.number().doubleValue() : 0;
}

void KeyedUnarchiver::failWithError(Error error) {
    if (!state_.error) state_.error = std::move(error);
}

const std::optional<Error>& KeyedUnarchiver::error() const {
    return state_.error;
}

} // namespace plat
