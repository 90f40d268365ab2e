#include "platform/net/URLError.h"

namespace plat::URLError {

const char* message(Code code) {
    switch (code) {
    case Cancelled:
        return "cancelled";
    case BadURL:
        return "unsupported URL";
    case TimedOut:
        return "The request timed out.";
    case UnsupportedURL:
        return "unsupported URL";
    case CannotFindHost:
        return "A server with the specified hostname could not be found.";
    case CannotConnectToHost:
        return "Could not connect to the server.";
    case NetworkConnectionLost:
        return "The network connection was lost.";
    case HTTPTooManyRedirects:
        return "too many HTTP redirects";
    case NotConnectedToInternet:
        return "The Internet connection appears to be offline.";
    case BadServerResponse:
        return "The server returned a bad response.";
    case SecureConnectionFailed:
        return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case ServerCertificateUntrusted:
        return "The certificate for this server is invalid.";
    case FileDoesNotExist:
        return "The file to upload does not exist or cannot be read.";
    case CannotCreateFile:
        return "The downloaded data cannot be written to a file.";
    case Unknown:
        break;
    }
    return "An unknown error occurred.";
}

Error make(Code code, const std::string& url) {
    Error error = Error::withMessage(kDomain, code, message(code));
    if (!url.empty()) error.userInfo[kFailingURLStringKey] = Object(url);
    return error;
}

} // namespace plat::URLError
