// Errors of the URL-loading system: domain "NSURLErrorDomain" and the usual negative codes.
#pragma once

#include "platform/object/Error.h"

namespace plat::URLError {

inline constexpr const char* kDomain = "NSURLErrorDomain";
// The user-info key holding the URL text of the failed request.
inline constexpr const char* kFailingURLStringKey = "NSErrorFailingURLStringKey";

enum Code : int64_t {
    Unknown = -1,
    Cancelled = -999,
    BadURL = -1000,
    TimedOut = -1001,
    UnsupportedURL = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    HTTPTooManyRedirects = -1007,
    NotConnectedToInternet = -1009,
    BadServerResponse = -1011,
    FileDoesNotExist = -1100,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
    CannotCreateFile = -3000,
};

// An error of this domain with its standard message.
Error make(Code code, const std::string& url = {});
const char* message(Code code);

} // namespace plat::URLError
