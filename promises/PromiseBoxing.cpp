#include "promises/PromiseBoxing.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>

namespace promises {

std::string unqualifiedTypeName(const std::type_info& type) {
    if (type == typeid(std::string)) return "string";
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    const std::string name = status == 0 && demangled ? demangled.get() : type.name();
    // Drop the qualifiers of the outermost name only; template arguments keep theirs.
    size_t start = 0;
    int depth = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '<')
            ++depth;
        else if (name[i] == '>')
            --depth;
        else if (depth == 0 && name.compare(i, 2, "::") == 0)
            start = i + 2;
    }
    return name.substr(start);
}

} // namespace promises
