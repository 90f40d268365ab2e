// Readable names of C++ types for dumps and messages: "LoginView", not a mangled symbol.
#pragma once

#include <string>
#include <typeinfo>

namespace plat::ui::detail {

// The unqualified, demangled name of `type`.
std::string typeName(const std::type_info& type);

} // namespace plat::ui::detail
