// A small object runtime of our own, standing in for the platform's: named classes with method
// tables (instance methods on the class, class methods on its metaclass), instance variables with
// type encodings, class pairs made and registered at run time, objects whose class can be swapped,
// associated objects, protocols with method descriptions, and messaging by selector. The platform's
// own classes (NSObject, NSApplication with its delegate protocol) are there from the first use.
// Thread-safe: the tables are locked; methods run outside the lock.
#pragma once

#include "platform/runtime/RuntimeTypes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace plat::rt {

// ---- Selectors ----
// The one selector of a name (made on first use).
SEL selector(const std::string& name);
const std::string& selectorName(SEL selector);

// ---- Classes ----
// A registered class by name; null when there is none.
Class getClass(const std::string& name);
const std::string& className(Class cls);
Class superclass(Class cls);
// The class that holds `cls`'s class methods.
Class metaclass(Class cls);
bool isMetaClass(Class cls);
bool isRegistered(Class cls);
// Bytes an instance takes: the object header and every instance variable up the chain.
size_t instanceSize(Class cls);
// The receiver of class messages.
Id classObject(Class cls);

// A new class (and metaclass) below `superclass`, named `name`; null when the name is taken
// (by a registered class or one still being made) or the superclass is not registered.
// `extraBytes` is accepted and must be 0.
Class allocateClassPair(Class superclass, const std::string& name, size_t extraBytes);
// Makes the class findable by name and able to make instances.
void registerClassPair(Class cls);
// Forgets a class that was allocated and never registered.
void disposeClassPair(Class cls);

// ---- Methods ----
// Adds a method to the class itself; false when the class (not a superclass) has it already.
bool addMethod(Class cls, SEL name, IMP imp, const std::string& types);
// Sets the class's own method (adding it when missing); answers the implementation it replaced.
IMP replaceMethod(Class cls, SEL name, IMP imp, const std::string& types);
// The method that instances (or, for class methods, the class) answer to, found up the chain.
Method getInstanceMethod(Class cls, SEL name);
Method getClassMethod(Class cls, SEL name);
IMP methodImplementation(Method method);
IMP methodSetImplementation(Method method, IMP imp);
const std::string& methodTypeEncoding(Method method);
SEL methodName(Method method);
// The implementation instances of `cls` run for `name`; null when they answer none.
IMP classMethodImplementation(Class cls, SEL name);
bool classRespondsToSelector(Class cls, SEL name);

// ---- Instance variables ----
// Adds a variable to a class being made; false for a registered class, a taken name or a type
// encoding that cannot be read.
bool addIvar(Class cls, const std::string& name, const std::string& types);
// The variables the class itself declares, in order.
std::vector<Ivar> copyIvarList(Class cls);
const std::string& ivarName(Ivar ivar);
const std::string& ivarTypeEncoding(Ivar ivar);
size_t ivarOffset(Ivar ivar);

// ---- Protocols ----
struct MethodDescription {
    SEL name = nullptr;
    std::string types;
};
struct ProtocolMethod {
    std::string selector;
    std::string types;
    bool required = false;
    bool instance = true;
};
// Registers a protocol with its methods (a name is registered once; later calls answer the first).
const Protocol* registerProtocol(const std::string& name, const std::vector<ProtocolMethod>& methods);
const Protocol* getProtocol(const std::string& name);
const std::string& protocolName(const Protocol* protocol);
std::optional<MethodDescription> protocolMethodDescription(const Protocol* protocol, SEL name,
                                                           bool isRequired, bool isInstance);
bool addProtocol(Class cls, const Protocol* protocol);
// Whether the class or a superclass adopted the protocol.
bool classConformsToProtocol(Class cls, const Protocol* protocol);

// ---- Objects ----
// A new instance of a registered class, its variables empty.
Id createInstance(Class cls);
Class objectGetClass(const Id& object);
// Gives the object another class; answers the previous one (null for a null object or class).
Class objectSetClass(const Id& object, Class cls);
Value getIvar(const Id& object, Ivar ivar);
void setIvar(const Id& object, Ivar ivar, Value value);

enum class AssociationPolicy { Assign, RetainNonatomic, CopyNonatomic, Retain, Copy };
// Keeps `value` with the object under `key` (an address); Assign keeps objects weakly. Nil removes.
void setAssociatedObject(const Id& object, const void* key, Value value, AssociationPolicy policy);
Value getAssociatedObject(const Id& object, const void* key);

// ---- Messaging ----
// Runs the receiver's method for `name` with the arguments. A null receiver answers nil; a
// receiver without the method raises RuntimeException "NSInvalidArgumentException".
Value sendMessage(const Id& receiver, SEL name, const Arguments& arguments = {});
Value sendMessage(const Id& receiver, const std::string& name, const Arguments& arguments = {});
bool respondsToSelector(const Id& object, SEL name);
bool conformsToProtocol(const Id& object, const Protocol* protocol);
// "<ClassName: 0x...>", the root class's description.
std::string defaultDescription(const Id& object);

} // namespace plat::rt
