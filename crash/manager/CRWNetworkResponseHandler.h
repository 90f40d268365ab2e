// How the crash reporter's network client reads an HTTP outcome: the response type of a status,
// whether a failure is worth another try, and the errors of the "CRWNetworkError" domain it hands
// to its callers. Stateless; every function may be called from any thread.
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"

#include <functional>
#include <optional>
#include <string>

inline constexpr const char* kCRWNetworkErrorDomain = "CRWNetworkError";

// The outcome class of an HTTP status.
enum CRWNetworkClientResponseType : int {
    CRWNetworkClientResponseSuccess = 0,
    CRWNetworkClientResponseError = 1,
    CRWNetworkClientResponseInvalid = 2,
    CRWNetworkClientResponseBackOff = 3,
    CRWNetworkClientResponseRetry = 4,
};

// Codes of the "CRWNetworkError" domain.
enum CRWNetworkErrorCode : int64_t {
    CRWNetworkErrorRetryable = -1,
    CRWNetworkErrorNoTask = -3,
    CRWNetworkErrorResponse = -4,
    CRWNetworkErrorInvalidRequest = -5,
    CRWNetworkErrorRetryLimit = -6,
};

class CRWNetworkResponseHandler {
public:
    using DecisionBlock = std::function<void(bool retry, std::optional<plat::Error> error)>;

    // Decides whether the request should be tried again and which error, if any, the caller sees.
    // A transport error is retried when it is a retryable error of the URL-loading domain.
    static void handleCompletedResponse(const std::optional<plat::HTTPURLResponse>& response,
                                        const plat::URLRequest& originalRequest,
                                        const std::optional<plat::Error>& error, const DecisionBlock& block);

    // The response type and status; a missing response is an error with status 0.
    static void clientResponseType(const std::optional<plat::HTTPURLResponse>& response,
                                   const std::function<void(CRWNetworkClientResponseType, int)>& handler);
    static CRWNetworkClientResponseType responseTypeForStatus(int status);

    // An error carrying the response's type, status, request id and content type.
    static plat::Error errorForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                        CRWNetworkClientResponseType type, int status);
    static plat::Error errorForCode(int64_t code, plat::Object::Dict userInfo);

    // Whether a transport error is worth another try: only URL-loading errors, minus the ones that
    // cannot get better by waiting (bad URLs, certificates, bad replies, ...).
    static bool retryableURLError(const plat::Error& error);
    // The background-task cancel reason of a cancelled URL-loading error, else -1.
    static int64_t cancelReasonFromURLError(const plat::Error& error);

    // The "Retry-After" header read as a number; none when absent or not a number.
    static std::optional<double> retryValueForResponse(const std::optional<plat::HTTPURLResponse>& response);
    static std::string requestIdForResponse(const std::optional<plat::HTTPURLResponse>& response);
    static std::optional<std::string> headerForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                                        const std::string& key);
    // Whether the reply's content type satisfies the request's "Accept" (and "Accept-Charset").
    static bool contentTypeForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                       const plat::URLRequest& request);
};
