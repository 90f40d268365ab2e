// The base of the crash reporter's network operations: the app id, the data-collection token
// that allows the request, and the request headers every such request carries.
#pragma once

#include "crash/manager/CRWBaseAsyncOperation.h"
#include "crash/manager/CRWDataCollectionToken.h"
#include "platform/net/URLRequest.h"

#include <memory>
#include <string>

class CRWNetworkOperation : public CRWBaseAsyncOperation {
public:
    // An empty app id is a programming error (aborts with the parameter's name).
    CRWNetworkOperation(std::string className, std::string tesseraAppID,
                        std::shared_ptr<CRWDataCollectionToken> token);

    // Starts the operation when `token` is valid; otherwise logs and does nothing.
    void startWithToken(const std::shared_ptr<CRWDataCollectionToken>& token);

    // A GET request that ignores cached data, with a 10-second timeout and the default headers.
    plat::URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const;
    plat::URLRequest mutableRequestWithDefaultHTTPHeadersForURL(const std::string& url, double timeout) const;
    // "<SDK bundle id>/<SDK version>".
    static std::string userAgentString();
    static std::string localeIdentifier();

    const std::string& tesseraAppID() const { return tesseraAppID_; }

private:
    std::string tesseraAppID_;
    std::shared_ptr<CRWDataCollectionToken> token_;
};

// Aborts with "Invalid parameter not satisfying: <name>" when `satisfied` is false.
void CRWRequireParameter(bool satisfied, const char* name);
