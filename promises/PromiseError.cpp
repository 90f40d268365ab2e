#include "promises/PromiseError.h"

#include "promises/TPRValue.h"

namespace promises {

std::optional<PromiseError> promiseError(const plat::Error& error) {
    if (error.domain != TPRPromiseErrorDomain) return std::nullopt;
    switch (error.code) {
    case TPRPromiseErrorCodeTimedOut:
        return PromiseError::timedOut;
    case TPRPromiseErrorCodeValidationFailure:
        return PromiseError::validationFailure;
    default:
        return std::nullopt;
    }
}

const char* describe(PromiseError e) {
    return e == PromiseError::timedOut ? "timedOut" : "validationFailure";
}

std::string describeError(const plat::Error& error) {
    if (auto known = promiseError(error)) return describe(*known);
    return TPRErrorDescription(error);
}

} // namespace promises
