#include "platform/net/URLSession.h"

#include "platform/net/URLError.h"

#include <curl/curl.h>

#include <cmath>
#include <mutex>
#include <strings.h>

namespace plat {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

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

struct Transfer {
    Data body;
    HTTPURLResponse response;
    const std::atomic<bool>* cancelled = nullptr;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->body.insert(t->body.end(), data, data + size * count);
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
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

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return t->cancelled->load() ? 1 : 0;
}

constexpr long kMaxRedirects = 16;

struct Outcome {
    CURLcode rc = CURLE_OK;
    long status = 0;
    std::string redirectURL; // where a redirect reply points; empty when curl follows them itself
};

// One transfer of `request` into `transfer`; curl follows redirects itself unless told not to.
Outcome transferOnce(const URLRequest& request, Transfer& transfer, bool followRedirects) {
    CURL* curl = curl_easy_init();
    curl_slist* headers = nullptr;
    bool hasContentType = false;
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        headers = curl_slist_append(headers, (name + ": " + value).c_str());
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
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    double timeout = request.timeoutInterval;
    if (std::isfinite(timeout) && timeout > 0 && timeout < 86400.0 * 365)
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout * 1000));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    Outcome outcome;
    outcome.rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &outcome.status);
    char* effective = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
    if (effective) transfer.response.url = effective;
    char* location = nullptr;
    if (!followRedirects && curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
        outcome.redirectURL = location;
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return outcome;
}

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The request a redirect proposes: the same one sent to the Location, as a bodiless GET after
// 301, 302 and 303 unless it was a GET or HEAD already.
URLRequest proposedRedirect(const URLRequest& request, long status, const std::string& location) {
    URLRequest proposed = request;
    proposed.url = location;
    if (status <= 303 && request.httpMethod != "GET" && request.httpMethod != "HEAD") {
        proposed.httpMethod = "GET";
        proposed.httpBody.reset();
        proposed.setValue("", "Content-Type");
        proposed.setValue("", "Content-Encoding");
    }
    return proposed;
}

} // namespace

URLSessionDataTask::URLSessionDataTask(URLRequest request, Completion completion, DispatchQueue delegateQueue,
                                       RedirectHandler redirectHandler)
    : request_(std::move(request)), completion_(std::move(completion)),
      delegateQueue_(std::move(delegateQueue)), redirectHandler_(std::move(redirectHandler)) {}

void URLSessionDataTask::resume() {
    State expected = State::Suspended;
    if (!state_.compare_exchange_strong(expected, State::Running)) return;
    // The transfer blocks, so it runs on the shared worker pool.
    auto self = shared_from_this();
    DispatchQueue::global(QoS::Default).async([self] { self->perform(); });
}

void URLSessionDataTask::cancel() {
    cancelled_.store(true);
    State running = State::Running;
    state_.compare_exchange_strong(running, State::Canceling);
}

void URLSessionDataTask::perform() {
    initCurlOnce();
    URLRequest request = request_;
    Transfer transfer;
    Outcome outcome;
    for (long redirects = 0;; ++redirects) {
        transfer = Transfer();
        transfer.cancelled = &cancelled_;
        transfer.response.url = request.url;
        outcome = transferOnce(request, transfer, !redirectHandler_);
        if (!redirectHandler_ || outcome.rc != CURLE_OK || cancelled_.load() || outcome.redirectURL.empty() ||
            !isRedirectStatus(outcome.status))
            break;
        if (redirects == kMaxRedirects) {
            outcome.rc = CURLE_TOO_MANY_REDIRECTS;
            break;
        }
        transfer.response.statusCode = static_cast<int>(outcome.status);
        std::optional<URLRequest> next = redirectHandler_(
            transfer.response, proposedRedirect(request, outcome.status, outcome.redirectURL));
        if (!next) break;
        request = std::move(*next);
    }
    const CURLcode rc = outcome.rc;
    const long status = outcome.status;

    std::optional<Data> data;
    std::optional<HTTPURLResponse> response;
    std::optional<Error> error;
    if (cancelled_.load()) {
        error = URLError::make(URLError::Cancelled, request_.url);
    } else if (rc != CURLE_OK) {
        error = URLError::make(codeFor(rc), request_.url);
    } else {
        transfer.response.statusCode = static_cast<int>(status);
        data = std::move(transfer.body);
        response = std::move(transfer.response);
    }
    auto completion = std::move(completion_);
    state_.store(State::Completed);
    delegateQueue_.async([completion = std::move(completion), data = std::move(data),
                          response = std::move(response), error = std::move(error)] {
        if (completion) completion(data, response, error);
    });
}

URLSession& URLSession::shared() {
    static URLSession* session = new URLSession(DispatchQueue::serial("io.velmora.urlsession.delegate"));
    return *session;
}

URLSession::URLSession(DispatchQueue delegateQueue, RedirectHandler redirectHandler)
    : delegateQueue_(std::move(delegateQueue)), redirectHandler_(std::move(redirectHandler)) {}

std::shared_ptr<URLSessionDataTask> URLSession::dataTask(URLRequest request,
                                                         URLSessionDataTask::Completion completion) {
    return std::make_shared<URLSessionDataTask>(std::move(request), std::move(completion), delegateQueue_,
                                                redirectHandler_);
}

std::shared_ptr<URLSessionDataTask> URLSession::uploadTask(URLRequest request, Data body,
                                                           URLSessionDataTask::Completion completion) {
    request.httpBody = std::move(body);
    return dataTask(std::move(request), std::move(completion));
}

} // namespace plat
