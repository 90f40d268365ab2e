// Objects that can be archived with secure coding: each names its class, writes its fields to a
// KeyedArchiver and is restored only when the reader asks for exactly that class.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace plat {

class KeyedArchiver;
class KeyedUnarchiver;

class SecureCoding {
public:
    virtual ~SecureCoding() = default;
    // The archived class name; the reader's expected class must carry the same name.
    virtual std::string className() const = 0;
    virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
};

// A class the unarchiver may restore: its name and how to build it from a coder. A type T takes
// part by declaring `static constexpr const char* kClassName` and
// `static std::shared_ptr<T> initWithCoder(KeyedUnarchiver&)` (null, or a failWithError on the
// coder, when the fields are not acceptable).
struct SecureCodingClass {
    std::string name;
    std::function<std::shared_ptr<SecureCoding>(KeyedUnarchiver&)> make;

    template <typename T> static SecureCodingClass of() {
        return SecureCodingClass{T::kClassName, [](KeyedUnarchiver& coder) -> std::shared_ptr<SecureCoding> {
                                     return T::initWithCoder(coder);
                                 }};
    }
};

} // namespace plat
