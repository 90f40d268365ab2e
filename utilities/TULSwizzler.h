// Method swizzling over the object runtime: replaces one class or instance method's
// implementation by a block (keeping its type encoding), reads a method's current implementation,
// tests whether a method exists, and lists an object's object-typed instance variables. Every
// swizzle and lookup runs synchronously on one process-wide serial queue, so concurrent swizzles
// never interleave. A violated precondition (no class, no selector, no such method) is logged as a
// fault with its text and changes nothing.
#pragma once

#include "platform/runtime/Runtime.h"

#include <vector>

class TULSwizzler {
public:
    static void swizzleClass(plat::rt::Class aClass, plat::rt::SEL selector, bool isClassSelector,
                             plat::rt::MethodBlock block);
    // The implementation in use; null when the class, selector or method is missing.
    static plat::rt::IMP currentImplementationForClass(plat::rt::Class aClass, plat::rt::SEL selector,
                                                       bool isClassSelector);
    static bool selector(plat::rt::SEL selector, plat::rt::Class existsInClass, bool isClassSelector);
    // The values of the object-typed ("@...") variables that the object's own class declares (not
    // its superclasses'), in declaration order; variables holding nil are left out.
    static std::vector<plat::rt::Value> ivarObjectsForObject(const plat::rt::Id& object);
};
