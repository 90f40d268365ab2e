// The promise library's own errors and its report for broken preconditions.
#pragma once

#include "platform/object/Error.h"

// The domain of the errors the library makes itself.
inline constexpr const char* TPRPromiseErrorDomain = "com.tessera.TPRPromises.Error";

enum TPRPromiseErrorCode : int64_t {
    TPRPromiseErrorCodeTimedOut = 1,
    TPRPromiseErrorCodeValidationFailure = 2,
};

// A new library error with the code and no user information.
inline plat::Error TPRPromiseError(TPRPromiseErrorCode code) {
    return plat::Error(TPRPromiseErrorDomain, code);
}
inline bool TPRIsTimedOutError(const plat::Error& e) {
    return e.domain == TPRPromiseErrorDomain && e.code == TPRPromiseErrorCodeTimedOut;
}
inline bool TPRIsValidationError(const plat::Error& e) {
    return e.domain == TPRPromiseErrorDomain && e.code == TPRPromiseErrorCodeValidationFailure;
}

// A broken precondition is a programming error: the message goes to stderr and the process
// aborts, so the fault surfaces where it was made instead of as a promise that never settles.
[[noreturn]] void TPRAssertionFailure(const char* function, const std::string& description);

// "Invalid parameter not satisfying: <expression>" when `condition` is false.
inline void TPRRequireParameter(bool condition, const char* expression, const char* function) {
    if (!condition)
        TPRAssertionFailure(function, std::string("Invalid parameter not satisfying: ") + expression);
}
#define TPR_REQUIRE(condition, expression)                                                                   \
    TPRRequireParameter(static_cast<bool>(condition), expression, __func__)
