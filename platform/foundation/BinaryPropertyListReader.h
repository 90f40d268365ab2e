// A bounded reader of binary property lists ("bplist00"). Stored files are not trusted: every
// offset, count and reference is checked against the bytes before it is followed, references may
// not form cycles, nesting and the number of objects produced are limited, and text must be
// well-formed. What it answers can always be written back by PropertyList (no NUL in text, dates
// within the writable range), so a store that loads a file can also save it.
#pragma once

#include "platform/object/Object.h"

#include <string>
#include <string_view>

namespace plat {

class BinaryPropertyListReader {
public:
    BinaryPropertyListReader() = delete;

    // The root object of `bytes`; absent with `why` set (a short reason) when the bytes are not a
    // complete, sound binary property list. Never aborts, whatever the bytes.
    static Object read(std::string_view bytes, std::string& why);
};

} // namespace plat
