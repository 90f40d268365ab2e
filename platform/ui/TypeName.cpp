#include "platform/ui/TypeName.h"

#include <cxxabi.h>

#include <cstdlib>

namespace plat::ui::detail {

std::string typeName(const std::type_info& type) {
    int status = 0;
    char* out = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string s = status == 0 && out ? out : type.name();
    std::free(out);
    // Screens are known by their own name; namespaces (and enclosing functions) add nothing.
    std::size_t depth = 0, cut = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '<' || c == '(')
            ++depth;
        else if ((c == '>' || c == ')') && depth > 0)
            --depth;
        else if (depth == 0 && c == ':' && i + 1 < s.size() && s[i + 1] == ':')
            cut = i + 2;
    }
    return s.substr(cut);
}

} // namespace plat::ui::detail
