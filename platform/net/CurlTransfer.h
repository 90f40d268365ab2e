// One HTTP exchange on libcurl, for the URL-session classes: the request goes out as given (no
// "Expect: 100-continue", no content type the caller did not set), gzip replies are decoded, https
// verifies the peer. Blocks the calling thread until the exchange ends.
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/object/Error.h"

#include <atomic>
#include <optional>
#include <string>

namespace plat::detail {

struct CurlTransferOptions {
    // Follow redirects inside the exchange (up to 16); otherwise a redirect reply is the answer.
    bool followRedirects = true;
    // Seconds for the whole exchange, and seconds without a byte moving (connecting included); 0
    // for no limit. Any positive limit holds, rounded up to whole milliseconds.
    double totalTimeout = 0;
    double idleTimeout = 0;
    // Set from another thread to end the exchange with the "cancelled" error.
    const std::atomic<bool>* cancelled = nullptr;
};

struct CurlTransferResult {
    // The reply (status and header fields of the last response) with its body, or the error of
    // the URL-loading domain.
    std::optional<HTTPURLResponse> response;
    Data body;
    std::optional<Error> error;
    // Where a redirect reply points, as an absolute URL; empty for other replies.
    std::string redirectURL;
};

CurlTransferResult performCurlTransfer(const URLRequest& request, const CurlTransferOptions& options);

// The one meaning of a request's timeout, for every kind of task: its timeoutInterval is the time
// without a byte moving (the configuration's timeoutIntervalForRequest when it is not above 0), and
// timeoutIntervalForResource bounds the whole exchange.
void applyTimeouts(CurlTransferOptions& options, const URLRequest& request,
                   const URLSessionConfiguration& configuration);

// The most redirects one request may take.
inline constexpr int kMaxRedirects = 16;
bool isRedirectStatus(long status);
// The request a redirect proposes: the same one sent to the Location, as a bodiless GET after
// 301, 302 and 303 unless it was a GET or HEAD already; 307 and 308 keep method and body.
URLRequest proposedRedirect(const URLRequest& request, long status, const std::string& location);

} // namespace plat::detail
