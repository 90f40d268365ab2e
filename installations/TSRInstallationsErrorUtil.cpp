#include "installations/TSRInstallationsErrorUtil.h"

#include "installations/TSRInstallationsHTTPError.h"
#include "promises/TPRValue.h"
#include "utilities/TULStringFormat.h"

plat::Error
TSRInstallationsErrorUtil::installationsErrorWithCode(int64_t code,
                                                      const std::optional<std::string>& failureReason,
                                                      const std::optional<plat::Error>& underlyingError) {
    std::string reason;
    if (failureReason)
        reason = *failureReason;
    else if (underlyingError)
        reason = "Underlying error: " + TPRErrorDescription(*underlyingError);
    plat::Object::Dict userInfo{{kTSRInstallationsFailureReasonKey, plat::Object(reason)},
                                {plat::kLocalizedDescriptionKey, plat::Object(reason)}};
    if (underlyingError) userInfo[plat::kUnderlyingErrorKey] = TPRErrorObject(*underlyingError);
    return plat::Error(kTesseraInstallationsErrorDomain, code, std::move(userInfo));
}

plat::Error TSRInstallationsErrorUtil::keychainErrorWithFunction(const std::string& keychainFunction,
                                                                 int64_t status) {
    return installationsErrorWithCode(
        TSRInstallationsErrorCodeKeychain,
        TULStringWithFormat("%@ (%li)", TULMakeFormatArguments(keychainFunction, status)), std::nullopt);
}

plat::Error TSRInstallationsErrorUtil::installationItemNotFoundForAppID(const std::string& appID,
                                                                        const std::string& appName) {
    return installationsErrorWithCode(TSRInstallationsErrorCodeUnknown,
                                      TULStringWithFormat("Installation for appID %@ appName %@ not found",
                                                          TULMakeFormatArguments(appID, appName)),
                                      std::nullopt);
}

plat::Error TSRInstallationsErrorUtil::corruptedIIDTokenData() {
    return installationsErrorWithCode(
        TSRInstallationsErrorCodeUnknown,
        std::string("IID token data stored in Keychain is corrupted or in an incompatible format."),
        std::nullopt);
}

plat::Error TSRInstallationsErrorUtil::JSONSerializationError() {
    return installationsErrorWithCode(TSRInstallationsErrorCodeUnknown,
                                      std::string("Failed to serialize JSON data."), std::nullopt);
}

plat::Error
TSRInstallationsErrorUtil::TIDRegistrationErrorWithResponseMissingField(const std::string& fieldName) {
    return installationsErrorWithCode(TSRInstallationsErrorCodeUnknown,
                                      TULStringWithFormat("A required response field with name %@ is missing",
                                                          TULMakeFormatArguments(fieldName)),
                                      std::nullopt);
}

plat::Error TSRInstallationsErrorUtil::backoffIntervalWaitError() {
    return installationsErrorWithCode(TSRInstallationsErrorCodeServerUnreachable,
                                      std::string("Too many server requests."), std::nullopt);
}

plat::Error TSRInstallationsErrorUtil::networkErrorWithError(const plat::Error& error) {
    return installationsErrorWithCode(TSRInstallationsErrorCodeServerUnreachable,
                                      std::string("Network connection error."), error);
}

plat::Error TSRInstallationsErrorUtil::keyedArchiverErrorWithException(const std::string& name,
                                                                       const std::string& reason,
                                                                       const std::string& userInfo) {
    return installationsErrorWithCode(
        TSRInstallationsErrorCodeUnknown,
        TULStringWithFormat("NSKeyedArchiver exception with name: %@, reason: %@, userInfo: %@",
                            TULMakeFormatArguments(name, reason, userInfo)),
        std::nullopt);
}

plat::Error TSRInstallationsErrorUtil::keyedArchiverErrorWithError(const plat::Error& error) {
    return installationsErrorWithCode(TSRInstallationsErrorCodeUnknown, std::string("NSKeyedArchiver error."),
                                      error);
}

plat::Error TSRInstallationsErrorUtil::APIErrorWithHTTPResponse(const plat::HTTPURLResponse& response,
                                                                const plat::Data& data) {
    return TSRInstallationsHTTPError(response, data).error();
}

bool TSRInstallationsErrorUtil::isAPIError(const plat::Error& error, int code) {
    std::shared_ptr<const TSRInstallationsHTTPError> failure = TSRInstallationsHTTPError::fromError(error);
    return failure && failure->HTTPResponse().statusCode == code;
}

plat::Error TSRInstallationsErrorUtil::publicDomainErrorWithError(const plat::Error& error) {
    if (error.domain == kTesseraInstallationsErrorDomain) return error;
    return installationsErrorWithCode(TSRInstallationsErrorCodeUnknown, std::nullopt, error);
}

void TSRInstallationsErrorUtil::TSRInstallationsItemSetErrorToPointer(const plat::Error& error,
                                                                      std::optional<plat::Error>* pointer) {
    if (pointer) *pointer = error;
}

std::string TSRInstallationsErrorUtil::failureReason(const plat::Error& error) {
    auto found = error.userInfo.find(kTSRInstallationsFailureReasonKey);
    return found != error.userInfo.end() && found->second.isString() ? found->second.string() : std::string();
}

std::optional<plat::Error> TSRInstallationsErrorUtil::underlyingError(const plat::Error& error) {
    auto found = error.userInfo.find(plat::kUnderlyingErrorKey);
    if (found == error.userInfo.end()) return std::nullopt;
    if (const plat::Error* underlying = TPRErrorFromObject(found->second)) return *underlying;
    return std::nullopt;
}
