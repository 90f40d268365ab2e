// Case folding for the ASCII words the backend compares: e-mail addresses and header values.
#pragma once

#include <string>

namespace standin {

// Lower-cases A to Z and leaves every other byte as it is.
inline std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace standin
