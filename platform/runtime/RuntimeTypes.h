// The value model of the object runtime: objects (Id), selectors, classes, methods, instance
// variables, protocols, and the values that messages carry (an object, a plain value, an error, a
// block, a selector or a class). Value's members, the blocks and implementations made from
// functions, and message sending are defined in RuntimeObjects.cpp.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace plat::rt {

class Instance;
using Id = std::shared_ptr<Instance>;
using WeakId = std::weak_ptr<Instance>;

struct SelectorInfo;
using SEL = const SelectorInfo*;
struct ClassInfo;
using Class = ClassInfo*;
struct MethodInfo;
using Method = MethodInfo*;
struct IvarInfo;
using Ivar = const IvarInfo*;
struct Protocol;

struct BlockBody;
using Block = std::shared_ptr<const BlockBody>;

// What a message carries or answers. Plain values (numbers, text, bytes, dictionaries) travel as
// plat::Object; "nothing" is the empty value (nil).
struct Value {
    std::variant<std::monostate, Id, plat::Object, plat::Error, Block, SEL, Class> storage;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(Id object) {
        if (object) storage = std::move(object);
    }
    Value(plat::Object object) : storage(std::move(object)) {}
    Value(std::string text) : storage(plat::Object(std::move(text))) {}
    Value(const char* text) : storage(plat::Object(text)) {}
    Value(plat::Error error) : storage(std::move(error)) {}
    Value(Block block) {
        if (block) storage = std::move(block);
    }
    Value(SEL selector) {
        if (selector) storage = selector;
    }
    Value(Class cls) {
        if (cls) storage = cls;
    }
    // Numbers and booleans.
    template <typename T>
    requires(std::is_arithmetic_v<T>) Value(T number) : storage(plat::Object(number)) {}

    bool isNil() const { return std::holds_alternative<std::monostate>(storage); }
    Id object() const;
    const plat::Object* plain() const { return std::get_if<plat::Object>(&storage); }
    const plat::Error* error() const { return std::get_if<plat::Error>(&storage); }
    Block block() const;
    SEL selector() const;
    Class cls() const;
    // The boolean a BOOL-returning method answered: a number's value, false for anything else.
    bool boolValue() const;
    // Identity for objects, blocks, selectors and classes; structural equality for plain values.
    bool operator==(const Value& other) const;
};

using Arguments = std::vector<Value>;

// A block that can be called with arguments.
struct BlockBody {
    std::function<Value(const Arguments& arguments)> invoke;
};
Block makeBlock(std::function<Value(const Arguments& arguments)> body);

// A method's code: receives the receiver, the selector and the arguments after them.
struct Implementation {
    std::function<Value(const Id& self, SEL cmd, const Arguments& arguments)> body;
};
using IMP = std::shared_ptr<const Implementation>;
IMP makeImplementation(std::function<Value(const Id& self, SEL cmd, const Arguments& arguments)> body);
// The code of a method made from a block, which receives the receiver and the arguments.
using MethodBlock = std::function<Value(const Id& self, const Arguments& arguments)>;
IMP implementationWithBlock(MethodBlock block);

// The runtime's exception, raised by messaging and by code that raises as the platform does: a
// name ("NSInvalidArgumentException"), a reason, and the return addresses of the stack it was
// raised on, which the application reports when one reaches its top level (exceptionObject() in
// PlatformClasses.h makes the runtime object it hands to "reportException:").
class RuntimeException : public std::runtime_error {
public:
    // Records the return addresses of the calling stack, innermost first (at most 128).
    RuntimeException(std::string name, const std::string& reason);
    const std::string& name() const { return name_; }
    const std::vector<uint64_t>& callStackReturnAddresses() const { return callStackReturnAddresses_; }

private:
    std::string name_;
    std::vector<uint64_t> callStackReturnAddresses_;
};

} // namespace plat::rt
