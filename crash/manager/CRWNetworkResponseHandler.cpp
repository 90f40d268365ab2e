#include "crash/manager/CRWNetworkResponseHandler.h"

#include "platform/net/URLError.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void CRWNetworkResponseHandler::handleCompletedResponse(const std::optional<plat::HTTPURLResponse>& response,
                                                        const plat::URLRequest& originalRequest,
                                                        const std::optional<plat::Error>& error,
                                                        const DecisionBlock& block) {
    if (error) {
        block(retryableURLError(*error), error);
        return;
    }
    clientResponseType(response, [&](CRWNetworkClientResponseType type, int status) {
        switch (type) {
        case CRWNetworkClientResponseSuccess:
            if (contentTypeForResponse(response, originalRequest))
                block(false, std::nullopt);
            else
                block(false, errorForResponse(response, CRWNetworkClientResponseError, status));
            return;
        case CRWNetworkClientResponseError:
            block(false, errorForResponse(response, type, status));
            return;
        case CRWNetworkClientResponseInvalid:
            block(false, errorForResponse(response, type, status));
            return;
        case CRWNetworkClientResponseBackOff:
        case CRWNetworkClientResponseRetry:
            block(true, errorForResponse(response, type, status));
            return;
        }
        block(false, std::nullopt);
    });
}

CRWNetworkClientResponseType CRWNetworkResponseHandler::responseTypeForStatus(int status) {
    switch (status) {
    case 400:
    case 401:
    case 403:
    case 404:
    case 406:
    case 410:
    case 411:
    case 413:
    case 419:
    case 422:
    case 431:
        return CRWNetworkClientResponseInvalid;
    case 420:
    case 429:
        return CRWNetworkClientResponseRetry;
    case 408:
        return CRWNetworkClientResponseBackOff;
    case 200:
    case 201:
    case 202:
    case 204:
    case 304:
        return CRWNetworkClientResponseSuccess;
    default:
        break;
    }
    if (status >= 500 && status <= 599) return CRWNetworkClientResponseBackOff;
    return CRWNetworkClientResponseError;
}

void CRWNetworkResponseHandler::clientResponseType(
    const std::optional<plat::HTTPURLResponse>& response,
    const std::function<void(CRWNetworkClientResponseType, int)>& handler) {
    if (!response || response->statusCode == 0) {
        handler(CRWNetworkClientResponseError, 0);
        return;
    }
    handler(responseTypeForStatus(response->statusCode), response->statusCode);
}

plat::Error CRWNetworkResponseHandler::errorForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                                        CRWNetworkClientResponseType type, int status) {
    int64_t code = CRWNetworkErrorResponse;
    if (type == CRWNetworkClientResponseBackOff || type == CRWNetworkClientResponseRetry)
        code = CRWNetworkErrorRetryable;
    else if (type == CRWNetworkClientResponseInvalid)
        code = CRWNetworkErrorInvalidRequest;
    plat::Object::Dict userInfo{{"type", static_cast<int64_t>(type)},
                                {"status_code", static_cast<int64_t>(status)},
                                {"request_id", requestIdForResponse(response)},
                                {"content_type", headerForResponse(response, "Content-Type").value_or("")}};
    return errorForCode(code, std::move(userInfo));
}

plat::Error CRWNetworkResponseHandler::errorForCode(int64_t code, plat::Object::Dict userInfo) {
    return plat::Error(kCRWNetworkErrorDomain, code, std::move(userInfo));
}

bool CRWNetworkResponseHandler::retryableURLError(const plat::Error& error) {
    if (error.domain != plat::URLError::kDomain) return false;
    switch (error.code) {
    case -1022:
    case -1013:
    case -1012:
    case -1010:
    case -1007:
    case -1002:
    case -1000:
    case -995:
    case -1103:
    case -1101:
    case -1100:
        return false;
    default:
        break;
    }
    return !(error.code >= -1206 && error.code <= -1200);
}

int64_t CRWNetworkResponseHandler::cancelReasonFromURLError(const plat::Error& error) {
    if (error.domain != plat::URLError::kDomain || error.code != plat::URLError::Cancelled) return -1;
    auto it = error.userInfo.find("NSURLErrorBackgroundTaskCancelledReasonKey");
    if (it == error.userInfo.end() || !it->second.isNumber()) return -1;
    return it->second.number().int64Value();
}

std::optional<double>
CRWNetworkResponseHandler::retryValueForResponse(const std::optional<plat::HTTPURLResponse>& response) {
    std::optional<std::string> value = headerForResponse(response, "Retry-After");
    if (!value || value->empty()) return std::nullopt;
    char* end = nullptr;
    double number = std::strtod(value->c_str(), &end);
    if (end == value->c_str()) return std::nullopt;
    return number;
}

std::string
CRWNetworkResponseHandler::requestIdForResponse(const std::optional<plat::HTTPURLResponse>& response) {
    return headerForResponse(response, "X-Request-Id").value_or("");
}

std::optional<std::string>
CRWNetworkResponseHandler::headerForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                             const std::string& key) {
    if (!response || response->headerFields.empty()) return std::nullopt;
    return response->value(key);
}

bool CRWNetworkResponseHandler::contentTypeForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                                       const plat::URLRequest& request) {
    std::optional<std::string> accept = request.value("Accept");
    if (!accept) return true;
    std::optional<std::string> contentType = headerForResponse(response, "Content-Type");
    if (!contentType) return false;
    constexpr std::string_view kSeparator = "; charset=";
    size_t split = contentType->find(kSeparator);
    std::string mediaType = contentType->substr(0, split);
    if (!equalsIgnoringCase(mediaType, *accept)) return false;
    std::optional<std::string> acceptCharset = request.value("Accept-Charset");
    if (acceptCharset && split != std::string::npos) {
        std::string charset = contentType->substr(split + kSeparator.size());
        size_t next = charset.find(kSeparator);
        if (next != std::string::npos) charset.resize(next);
        return equalsIgnoringCase(charset, *acceptCharset);
    }
    return true;
}
