#include "crash/manager/CRWNetworkOperation.h"

#include "crash/record/CRWApplication.h"
#include "crash/record/CRWSDKInfo.h"
#include "crash/record/CRWSharedLog.h"

#include <cstdio>
#include <cstdlib>

namespace {
// The developer token the settings service expects from every client of this SDK.
constexpr const char* kCRWDeveloperToken = "b7e3a91c4d0f26585c8e1a3b0d9f4c72e6a15b38";
} // namespace

void CRWRequireParameter(bool satisfied, const char* name) {
    if (satisfied) return;
    std::fprintf(stderr, "Invalid parameter not satisfying: %s\n", name);
    std::abort();
}

CRWNetworkOperation::CRWNetworkOperation(std::string className, std::string tesseraAppID,
                                         std::shared_ptr<CRWDataCollectionToken> token)
    : CRWBaseAsyncOperation(std::move(className)), tesseraAppID_(std::move(tesseraAppID)),
      token_(std::move(token)) {
    CRWRequireParameter(!tesseraAppID_.empty(), "tesseraAppID");
}

void CRWNetworkOperation::startWithToken(const std::shared_ptr<CRWDataCollectionToken>& token) {
    if (!CRWDataCollectionToken::isValid(token)) {
        CRWErrorLog("Skipping network operation with invalid data collection token");
        return;
    }
    start();
}

plat::URLRequest
CRWNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const {
    return mutableRequestWithDefaultHTTPHeadersForURL(url, 10.0);
}

plat::URLRequest CRWNetworkOperation::mutableRequestWithDefaultHTTPHeadersForURL(const std::string& url,
                                                                                 double timeout) const {
    plat::URLRequest request(url, timeout, plat::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    request.httpMethod = "GET";
    std::string locale = localeIdentifier();
    request.setValue(userAgentString(), "User-Agent");
    request.setValue("utf-8", "Accept-Charset");
    request.setValue(locale, "Accept-Language");
    request.setValue(locale, "Content-Language");
    request.setValue(kCRWDeveloperToken, "X-Crashwatch-Developer-Token");
    request.setValue(CRWApplicationGetSDKBundleID(), "X-Crashwatch-API-Client-Id");
    request.setValue(CRWSDKVersion(), "X-Crashwatch-API-Client-Display-Version");
    request.setValue(tesseraAppID_, "X-Crashwatch-Tessera-App-Id");
    return request;
}

std::string CRWNetworkOperation::userAgentString() {
    return CRWApplicationGetSDKBundleID() + "/" + CRWSDKVersion();
}

std::string CRWNetworkOperation::localeIdentifier() {
    return CRWApplicationLocaleIdentifier();
}
