// A message made ready to send: a signature, a target, a selector and the arguments, sent by
// invoke(). Arguments are checked against the signature as they are set. Not thread-safe.
#pragma once

#include "platform/runtime/MethodSignature.h"
#include "platform/runtime/Runtime.h"

#include <memory>

namespace plat::rt {

class Invocation {
public:
    static std::shared_ptr<Invocation> invocationWithMethodSignature(MethodSignature signature);

    const MethodSignature& methodSignature() const { return signature_; }
    void setTarget(Id target) { target_ = std::move(target); }
    const Id& target() const { return target_; }
    void setSelector(SEL selector) { selector_ = selector; }
    SEL selector() const { return selector_; }
    // Sets argument `index` (from 2; 0 and 1 are the target and selector). False for an index
    // outside the signature or a value its type cannot hold: object types take anything, other
    // types a plain number or nil.
    bool setArgument(Value value, size_t index);
    const Value& argument(size_t index) const { return arguments_.at(index - 2); }
    // Sends the message to the target (nothing for a nil target) and keeps the result. Raises what
    // the method raises.
    void invoke();
    const Value& returnValue() const { return returnValue_; }

private:
    explicit Invocation(MethodSignature signature);
    MethodSignature signature_;
    Id target_;
    SEL selector_ = nullptr;
    Arguments arguments_;
    Value returnValue_;
};

} // namespace plat::rt
