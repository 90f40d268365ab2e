// The errors of the installation identity: one domain, "com.tessera.installations", with the codes
// unknown (0), keychain (1) and server unreachable (2), and the factories every installations
// class makes its errors with. Each error carries its failure reason (also as its description)
// and, when one is given, the underlying error. Every function is thread-safe.
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"
#include "promises/Promise.h"

#include <cstdint>
#include <optional>
#include <string>

inline constexpr const char* kTesseraInstallationsErrorDomain = "com.tessera.installations";
// The user-info key of an error's failure reason.
inline constexpr const char* kTSRInstallationsFailureReasonKey = "NSLocalizedFailureReason";

enum TSRInstallationsErrorCode : int64_t {
    TSRInstallationsErrorCodeUnknown = 0,
    TSRInstallationsErrorCodeKeychain = 1,
    TSRInstallationsErrorCodeServerUnreachable = 2,
};

class TSRInstallationsErrorUtil {
public:
    // Without a reason the reason is "Underlying error: " and the underlying error's description.
    static plat::Error installationsErrorWithCode(int64_t code,
                                                  const std::optional<std::string>& failureReason,
                                                  const std::optional<plat::Error>& underlyingError);
    // Code 1, "<function> (<status>)".
    static plat::Error keychainErrorWithFunction(const std::string& keychainFunction, int64_t status);
    static plat::Error installationItemNotFoundForAppID(const std::string& appID, const std::string& appName);
    static plat::Error corruptedIIDTokenData();
    static plat::Error JSONSerializationError();
    static plat::Error TIDRegistrationErrorWithResponseMissingField(const std::string& fieldName);
    // Code 2, "Too many server requests.": the backoff refused to send.
    static plat::Error backoffIntervalWaitError();
    static plat::Error networkErrorWithError(const plat::Error& error);
    static plat::Error keyedArchiverErrorWithException(const std::string& name, const std::string& reason,
                                                       const std::string& userInfo);
    static plat::Error keyedArchiverErrorWithError(const plat::Error& error);
    // A TSRInstallationsHTTPError of the response and body.
    static plat::Error APIErrorWithHTTPResponse(const plat::HTTPURLResponse& response,
                                                const plat::Data& data);

    // True only for an HTTP failure of the service whose status is `code`.
    static bool isAPIError(const plat::Error& error, int code);
    // An installations error unchanged; any other wrapped as code 0 with it as underlying error.
    static plat::Error publicDomainErrorWithError(const plat::Error& error);
    // A promise already rejected with the error.
    template <typename Value>
    static promises::Promise<Value> rejectedPromiseWithError(const plat::Error& error) {
        return promises::Promise<Value>(error);
    }
    // Stores the error through the pointer, when there is one.
    static void TSRInstallationsItemSetErrorToPointer(const plat::Error& error,
                                                      std::optional<plat::Error>* pointer);

    // The failure reason an error carries; empty when none.
    static std::string failureReason(const plat::Error& error);
    // The underlying error an error carries, when it has one.
    static std::optional<plat::Error> underlyingError(const plat::Error& error);
};
