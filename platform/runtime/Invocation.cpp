#include "platform/runtime/Invocation.h"

namespace plat::rt {

std::shared_ptr<Invocation> Invocation::invocationWithMethodSignature(MethodSignature signature) {
    return std::shared_ptr<Invocation>(new Invocation(std::move(signature)));
}

Invocation::Invocation(MethodSignature signature)
    : signature_(std::move(signature)), arguments_(signature_.numberOfArguments() - 2) {}

bool Invocation::setArgument(Value value, size_t index) {
    if (index < 2 || index >= signature_.numberOfArguments()) return false;
    if (!signature_.argumentType(index).isObject && !value.isNil()) {
        const plat::Object* plain = value.plain();
        if (!plain || !plain->isNumber()) return false;
    }
    arguments_[index - 2] = std::move(value);
    return true;
}

void Invocation::invoke() {
    returnValue_ = target_ ? sendMessage(target_, selector_, arguments_) : Value();
}

} // namespace plat::rt
