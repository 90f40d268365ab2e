// The runtime's tables, for its own source files: selectors, classes with their methods and
// instance variables, protocols, and the one lock that guards them.
#pragma once

#include "platform/runtime/Runtime.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plat::rt {

struct SelectorInfo {
    std::string name;
};

struct MethodInfo {
    SEL name = nullptr;
    IMP imp;
    std::string types;
};

struct IvarInfo {
    std::string name;
    std::string types;
    size_t offset = 0;
    size_t slot = 0; // index among all the variables up the chain
};

struct Protocol {
    std::string name;
    std::vector<ProtocolMethod> methods;
};

struct ClassInfo {
    std::string name;
    Class superclass = nullptr;
    Class meta = nullptr; // for a class: its metaclass; for a metaclass: null
    bool isMeta = false;
    bool registered = false;
    std::map<SEL, std::unique_ptr<MethodInfo>> methods;
    std::vector<std::unique_ptr<IvarInfo>> ivars;
    std::vector<const Protocol*> protocols;
    size_t instanceSize = 0;
    size_t slotCount = 0;
    Id classObject; // receiver of class messages; its class is the metaclass
};

namespace detail {

// The lock of every table; recursive so that the seeding of the platform classes may call the
// public functions.
std::recursive_mutex& tableLock();
// Registers the platform's classes and protocols once (called under no lock by every entry point).
void seedPlatformClasses();

} // namespace detail

} // namespace plat::rt
