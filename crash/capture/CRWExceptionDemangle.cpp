// Runs at crash time. A small demangler for the type names of thrown exceptions, writing into the
// caller's buffer. The C++ runtime's demangler allocates, so the terminate handler cannot use it;
// exception types are almost always plain or namespaced class names, which this one covers, and
// anything it does not understand is recorded mangled rather than guessed.
#include "crash/capture/CRWException.h"

#include <cstring>

namespace {

class Demangler {
public:
    Demangler(const char* input, char* output, size_t size) : in_(input), out_(output), size_(size) {}

    bool run() {
        if (!type() || *in_ != '\0' || overflow_) return false;
        out_[length_] = '\0';
        return true;
    }

private:
    void put(const char* text, size_t count) {
        if (length_ + count + 1 > size_) {
            overflow_ = true;
            return;
        }
        memcpy(out_ + length_, text, count);
        length_ += count;
    }
    void put(const char* text) { put(text, strlen(text)); }

    bool sourceName() {
        size_t count = 0;
        if (*in_ < '1' || *in_ > '9') return false;
        while (*in_ >= '0' && *in_ <= '9') {
            count = count * 10 + static_cast<size_t>(*in_++ - '0');
            if (count > 4096) return false;
        }
        if (strnlen(in_, count) < count) return false;
        // The compiler's name for an anonymous namespace.
        if (count == 12 && strncmp(in_, "_GLOBAL__N_1", 12) == 0)
            put("(anonymous namespace)");
        else
            put(in_, count);
        in_ += count;
        return true;
    }

    // An optional template argument list after a name.
    bool templateArguments() {
        if (*in_ != 'I') return true;
        ++in_;
        put("<");
        for (bool first = true; *in_ != 'E'; first = false) {
            if (!first) put(", ");
            if (!type()) return false;
        }
        ++in_;
        put(">");
        return true;
    }

    // The standard abbreviations that stand for a whole name.
    bool abbreviation() {
        static const struct {
            char code;
            const char* text;
        } table[] = {{'a', "std::allocator"}, {'b', "std::basic_string"}, {'s', "std::string"},
                     {'i', "std::istream"},   {'o', "std::ostream"},      {'d', "std::iostream"}};
        for (const auto& entry : table) {
            if (in_[1] != entry.code) continue;
            in_ += 2;
            put(entry.text);
            return templateArguments();
        }
        return false;
    }

    // N [qualifiers] prefix... E, or a plain (possibly std-qualified) name.
    bool name() {
        if (*in_ == 'S' && in_[1] == 't') {
            in_ += 2;
            put("std::");
            return sourceName() && templateArguments();
        }
        if (*in_ == 'S') return abbreviation();
        if (*in_ != 'N') return sourceName() && templateArguments();
        ++in_;
        while (*in_ == 'K' || *in_ == 'V' || *in_ == 'r')
            ++in_;
        for (bool first = true; *in_ != 'E'; first = false) {
            if (!first) put("::");
            if (*in_ == 'S' && in_[1] == 't') {
                in_ += 2;
                put("std");
                continue;
            }
            if (!sourceName() || !templateArguments()) return false;
        }
        ++in_;
        return true;
    }

    bool builtin() {
        static const struct {
            char code;
            const char* text;
        } table[] = {{'v', "void"},
                     {'b', "bool"},
                     {'c', "char"},
                     {'a', "signed char"},
                     {'h', "unsigned char"},
                     {'s', "short"},
                     {'t', "unsigned short"},
                     {'i', "int"},
                     {'j', "unsigned int"},
                     {'l', "long"},
                     {'m', "unsigned long"},
                     {'x', "long long"},
                     {'y', "unsigned long long"},
                     {'f', "float"},
                     {'d', "double"},
                     {'e', "long double"},
                     {'w', "wchar_t"}};
        for (const auto& entry : table) {
            if (*in_ != entry.code) continue;
            ++in_;
            put(entry.text);
            return true;
        }
        return false;
    }

    // Pointers, references and qualifiers are written after what they apply to.
    bool type() {
        const char modifier = *in_;
        if (modifier == 'P' || modifier == 'R' || modifier == 'O' || modifier == 'K' || modifier == 'V') {
            ++in_;
            if (!type()) return false;
            switch (modifier) {
            case 'P':
                put("*");
                break;
            case 'R':
                put("&");
                break;
            case 'O':
                put("&&");
                break;
            case 'K':
                put(" const");
                break;
            default:
                put(" volatile");
                break;
            }
            return true;
        }
        if (builtin()) return true;
        return name();
    }

    const char* in_;
    char* out_;
    size_t size_;
    size_t length_ = 0;
    bool overflow_ = false;
};

} // namespace

bool CRWExceptionDemangle(const char* mangled, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    if (mangled == nullptr) return false;
    if (Demangler(mangled, buffer, size).run()) return true;
    strncpy(buffer, mangled, size - 1);
    buffer[size - 1] = '\0';
    return false;
}
