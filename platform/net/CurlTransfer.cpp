#include "platform/net/CurlTransfer.h"

#include "platform/dispatch/ProcessExit.h"
#include "platform/net/NetworkLibraries.h"
#include "platform/net/URLError.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <strings.h>

namespace plat::detail {

namespace {

URLError::Code codeFor(CURLcode rc) {
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return URLError::TimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return URLError::CannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return URLError::CannotConnectToHost;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return URLError::NetworkConnectionLost;
    case CURLE_URL_MALFORMAT:
        return URLError::BadURL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return URLError::UnsupportedURL;
    case CURLE_TOO_MANY_REDIRECTS:
        return URLError::HTTPTooManyRedirects;
    case CURLE_ABORTED_BY_CALLBACK:
        return URLError::Cancelled;
    case CURLE_PEER_FAILED_VERIFICATION:
        return URLError::ServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_USE_SSL_FAILED:
        return URLError::SecureConnectionFailed;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return URLError::BadServerResponse;
    default:
        return URLError::Unknown;
    }
}

using Instant = std::chrono::steady_clock::time_point;

struct Transfer {
    Data body;
    HTTPURLResponse response;
    const std::atomic<bool>* cancelled = nullptr;
    // When a byte last moved either way (or the transfer began), and the counts seen then.
    Instant lastByte = std::chrono::steady_clock::now();
    curl_off_t received = 0;
    curl_off_t sent = 0;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->lastByte = std::chrono::steady_clock::now();
    t->body.insert(t->body.end(), data, data + size * count);
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->lastByte = std::chrono::steady_clock::now();
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        // A new status line (after a redirect or an interim reply) starts a fresh header set.
        t->response.headerFields.clear();
        return size * count;
    }
    auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        size_t start = value.find_first_not_of(" \t");
        value = start == std::string::npos ? "" : value.substr(start);
        t->response.headerFields.emplace_back(line.substr(0, colon), value);
    }
    return size * count;
}

// Also gives up when the process is ending: a reply the server holds back must not hold up the end.
int onProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* t = static_cast<Transfer*>(user);
    if (received != t->received || sent != t->sent) {
        t->received = received;
        t->sent = sent;
        t->lastByte = std::chrono::steady_clock::now();
    }
    return (t->cancelled && t->cancelled->load()) || isEndingBackgroundWork() ? 1 : 0;
}

// A limit in whole milliseconds, libcurl's finest step: any positive number of seconds is rounded
// up and is at least 1 ms (libcurl reads 0 as "no limit"); a year stands for anything longer.
// None for 0, a negative number or NaN.
std::optional<long> limitMilliseconds(double seconds) {
    if (!(seconds > 0)) return std::nullopt;
    constexpr double kLongest = 86400.0 * 365 * 1000;
    // The small allowance keeps 0.3 s at 300 ms although 0.3 * 1000 is a hair above 300.
    const double milliseconds = std::ceil(std::min(seconds * 1000, kLongest) - 1e-6);
    return std::max(1L, static_cast<long>(milliseconds));
}

// Runs the transfer and ends it once no byte has moved for `idle` (connecting included); libcurl's
// own low-speed limit counts whole seconds and averages over several, so it would let a stall go on.
CURLcode performWithIdleLimit(CURL* curl, Transfer& transfer, std::optional<long> idle) {
    CURLM* multi = curl_multi_init();
    curl_multi_add_handle(multi, curl);
    transfer.lastByte = std::chrono::steady_clock::now();
    CURLcode rc = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            rc = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (running == 0) {
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued))
                if (message->msg == CURLMSG_DONE) rc = message->data.result;
            break;
        }
        // Wake no later than the idle limit runs out, and at least once a second for cancelling.
        long wait = 1000;
        if (idle) {
            const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - transfer.lastByte)
                                   .count();
            if (quiet >= *idle) {
                rc = CURLE_OPERATION_TIMEDOUT;
                break;
            }
            wait = std::min(wait, *idle - static_cast<long>(quiet));
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
    }
    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    return rc;
}

} // namespace

CurlTransferResult performCurlTransfer(const URLRequest& request, const CurlTransferOptions& options) {
    initializeNetworkLibraries();
    if (isEndingBackgroundWork()) {
        CurlTransferResult ended;
        ended.error = URLError::make(URLError::Cancelled, request.url);
        return ended;
    }
    Transfer transfer;
    transfer.cancelled = options.cancelled;
    transfer.response.url = request.url;

    CURL* curl = curl_easy_init();
    curl_slist* headers = nullptr;
    bool hasContentType = false;
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        // "Name:" with nothing after it tells libcurl to leave the field out; "Name;" sends it empty.
        const bool blank = value.find_first_not_of(" \t") == std::string::npos;
        headers = curl_slist_append(headers, (blank ? name + ";" : name + ": " + value).c_str());
        if (strcasecmp(name.c_str(), "Content-Type") == 0) hasContentType = true;
    }
    headers = curl_slist_append(headers, "Expect:");
    if (!hasContentType) headers = curl_slist_append(headers, "Content-Type:");

    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.httpMethod.c_str());
    if (request.httpBody) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.httpBody->size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(request.httpBody->data()));
    } else if (request.httpMethod == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Velmora (Linux)");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, options.followRedirects ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (std::optional<long> total = limitMilliseconds(options.totalTimeout))
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, *total);
    const std::optional<long> idle = limitMilliseconds(options.idleTimeout);
    // No connection within the idle limit ends the transfer in libcurl too.
    if (idle) curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, *idle);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    CURLcode rc = performWithIdleLimit(curl, transfer, idle);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    char* effective = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
    if (effective) transfer.response.url = effective;
    CurlTransferResult result;
    char* redirect = nullptr;
    if (!options.followRedirects && curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK &&
        redirect)
        result.redirectURL = redirect;
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    if (options.cancelled && options.cancelled->load()) {
        result.error = URLError::make(URLError::Cancelled, request.url);
    } else if (rc != CURLE_OK) {
        result.error = URLError::make(codeFor(rc), request.url);
    } else {
        transfer.response.statusCode = static_cast<int>(status);
        result.body = std::move(transfer.body);
        result.response = std::move(transfer.response);
    }
    return result;
}

void applyTimeouts(CurlTransferOptions& options, const URLRequest& request,
                   const URLSessionConfiguration& configuration) {
    options.idleTimeout =
        request.timeoutInterval > 0 ? request.timeoutInterval : configuration.timeoutIntervalForRequest;
    options.totalTimeout = configuration.timeoutIntervalForResource;
}

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

URLRequest proposedRedirect(const URLRequest& request, long status, const std::string& location) {
    URLRequest proposed = request;
    proposed.url = location;
    if (status <= 303 && request.httpMethod != "GET" && request.httpMethod != "HEAD") {
        proposed.httpMethod = "GET";
        proposed.httpBody.reset();
        proposed.setValue(std::nullopt, "Content-Type");
        proposed.setValue(std::nullopt, "Content-Encoding");
    }
    return proposed;
}

} // namespace plat::detail
