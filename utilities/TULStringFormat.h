// printf-style formatting of library messages whose arguments are dynamic values: "%@" prints an
// object (text as is, numbers in decimal), and the usual integer, floating-point, string and
// character conversions read their value from the matching argument. Never fails: a missing or
// mismatched argument prints as empty text or zero.
#pragma once

#include "platform/object/Object.h"

#include <string>
#include <string_view>
#include <vector>

using TULFormatArguments = std::vector<plat::Object>;

std::string TULStringWithFormat(std::string_view format, const TULFormatArguments& arguments);

// Builds the argument list from native values (numbers, strings, Objects).
template <typename... Args> TULFormatArguments TULMakeFormatArguments(Args&&... args) {
    return TULFormatArguments{plat::Object(std::forward<Args>(args))...};
}
