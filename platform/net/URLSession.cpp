#include "platform/net/URLSession.h"

#include "platform/net/CurlTransfer.h"
#include "platform/net/URLError.h"

namespace plat {

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
    URLRequest request = request_;
    detail::CurlTransferOptions options;
    options.followRedirects = !redirectHandler_;
    options.cancelled = &cancelled_;
    detail::CurlTransferResult result;
    for (int redirects = 0;; ++redirects) {
        // A plain session sends with the default configuration.
        detail::applyTimeouts(options, request, URLSessionConfiguration::defaultSessionConfiguration());
        result = detail::performCurlTransfer(request, options);
        if (!redirectHandler_ || !result.response || result.redirectURL.empty() ||
            !detail::isRedirectStatus(result.response->statusCode))
            break;
        if (redirects == detail::kMaxRedirects) {
            result.response.reset();
            result.error = URLError::make(URLError::HTTPTooManyRedirects, request_.url);
            break;
        }
        std::optional<URLRequest> next =
            redirectHandler_(*result.response, detail::proposedRedirect(request, result.response->statusCode,
                                                                        result.redirectURL));
        if (!next) break;
        request = std::move(*next);
    }
    std::optional<Data> data;
    if (result.response) data = std::move(result.body);
    auto completion = std::move(completion_);
    state_.store(State::Completed);
    delegateQueue_.async([completion = std::move(completion), data = std::move(data),
                          response = std::move(result.response), error = std::move(result.error)] {
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

namespace plat {

std::shared_ptr<URLSession> URLSession::sessionWithConfiguration(URLSessionConfiguration configuration,
                                                                 std::shared_ptr<URLSessionDelegate> delegate,
                                                                 std::optional<DispatchQueue> delegateQueue) {
    if (configuration.identifier && configuration.identifier->empty()) return nullptr;
    auto session = std::make_shared<URLSession>(
        delegateQueue ? *delegateQueue : DispatchQueue::serial("io.velmora.urlsession.delegate"));
    session->configuration_ = std::move(configuration);
    session->delegate_ = std::move(delegate);
    return session;
}

template <typename Task>
std::shared_ptr<Task> URLSession::makeTask(URLSessionTask::Kind kind, URLRequest request,
                                           std::optional<Data> body, std::filesystem::path file) {
    std::shared_ptr<URLSession> self = weak_from_this().lock();
    if (!self) return nullptr; // plain sessions made on the stack have no delegate tasks
    uint64_t identifier = 0;
    {
        std::lock_guard guard(lock_);
        if (invalidated_) return nullptr;
        identifier = nextTaskIdentifier_++;
    }
    return std::make_shared<Task>(std::move(self), identifier, kind, std::move(request), std::move(body),
                                  std::move(file));
}

std::shared_ptr<URLSessionTask> URLSession::dataTaskWithRequest(URLRequest request) {
    return makeTask<URLSessionTask>(URLSessionTask::Kind::Data, std::move(request), std::nullopt, {});
}

std::shared_ptr<URLSessionTask> URLSession::uploadTaskWithRequest(URLRequest request, Data body) {
    return makeTask<URLSessionTask>(URLSessionTask::Kind::UploadFromData, std::move(request), std::move(body),
                                    {});
}

std::shared_ptr<URLSessionTask> URLSession::uploadTaskWithRequest(URLRequest request,
                                                                  const std::filesystem::path& file) {
    if (file.empty()) return nullptr;
    return makeTask<URLSessionTask>(URLSessionTask::Kind::UploadFromFile, std::move(request), std::nullopt,
                                    file);
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithRequest(URLRequest request) {
    return makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::Download, std::move(request), std::nullopt,
                                            {});
}

void URLSession::finishTasksAndInvalidate() {
    std::shared_ptr<URLSessionDelegate> released;
    {
        std::lock_guard guard(lock_);
        invalidated_ = true;
        if (runningTasks_ == 0) released = std::move(delegate_);
    }
    // The delegate may own this session's last reference; it goes after the lock is let go.
}

bool URLSession::isInvalidated() const {
    std::lock_guard guard(lock_);
    return invalidated_;
}

std::shared_ptr<URLSessionDelegate> URLSession::delegate() const {
    std::lock_guard guard(lock_);
    return delegate_;
}

void URLSession::taskStarted() {
    std::lock_guard guard(lock_);
    ++runningTasks_;
}

void URLSession::taskFinished() {
    std::shared_ptr<URLSessionDelegate> released;
    {
        std::lock_guard guard(lock_);
        if (runningTasks_ > 0) --runningTasks_;
        if (invalidated_ && runningTasks_ == 0) released = std::move(delegate_);
    }
}

} // namespace plat
