#include "platform/net/URLSessionTask.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/net/CurlTransfer.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/security/UUID.h"

#include <condition_variable>

namespace plat {

namespace {

// The request with the session's fields added where the request has none of its own.
URLRequest withConfiguration(URLRequest request, const URLSessionConfiguration& configuration) {
    for (const auto& [name, value] : configuration.HTTPAdditionalHeaders)
        if (!request.value(name)) request.addValue(value, name);
    return request;
}

} // namespace

URLSessionTask::URLSessionTask(std::shared_ptr<plat::URLSession> session, uint64_t identifier, Kind kind,
                               URLRequest request, std::optional<Data> body, std::filesystem::path bodyFile)
    : session_(std::move(session)), identifier_(identifier), kind_(kind), originalRequest_(request),
      body_(std::move(body)), bodyFile_(std::move(bodyFile)), currentRequest_(std::move(request)) {}

void URLSessionTask::resume() {
    State expected = State::Suspended;
    if (!state_.compare_exchange_strong(expected, State::Running)) return;
    session_->taskStarted();
    // The transfer blocks, so it runs on the shared worker pool.
    auto self = shared_from_this();
    DispatchQueue::global(QoS::Default).async([self] { self->perform(); });
}

void URLSessionTask::cancel() {
    cancelled_.store(true);
    State running = State::Running;
    state_.compare_exchange_strong(running, State::Canceling);
}

URLRequest URLSessionTask::currentRequest() const {
    std::lock_guard guard(lock_);
    return currentRequest_;
}

std::optional<HTTPURLResponse> URLSessionTask::response() const {
    std::lock_guard guard(lock_);
    return response_;
}

void URLSessionTask::perform() {
    URLRequest current = withConfiguration(originalRequest_, session_->configuration());
    if (kind_ == Kind::UploadFromData) {
        current.httpBody = body_.value_or(Data());
    } else if (kind_ == Kind::UploadFromFile) {
        std::optional<Data> bytes = AtomicFile::read(bodyFile_);
        if (!bytes) return finish(std::nullopt, {}, URLError::make(URLError::FileDoesNotExist, current.url));
        current.httpBody = std::move(*bytes);
    }
    detail::CurlTransferOptions options;
    options.followRedirects = false;
    options.cancelled = &cancelled_;
    for (int redirects = 0;; ++redirects) {
        {
            std::lock_guard guard(lock_);
            currentRequest_ = current;
        }
        detail::applyTimeouts(options, current, session_->configuration());
        detail::CurlTransferResult result = detail::performCurlTransfer(current, options);
        if (result.error) return finish(std::nullopt, {}, std::move(result.error));
        if (detail::isRedirectStatus(result.response->statusCode) && !result.redirectURL.empty()) {
            if (redirects >= detail::kMaxRedirects)
                return finish(std::nullopt, {}, URLError::make(URLError::HTTPTooManyRedirects, current.url));
            URLRequest next =
                detail::proposedRedirect(current, result.response->statusCode, result.redirectURL);
            if (std::optional<URLRequest> follow = askToRedirect(*result.response, std::move(next))) {
                current = std::move(*follow);
                continue;
            }
        }
        return finish(std::move(result.response), std::move(result.body), std::nullopt);
    }
}

std::optional<URLRequest> URLSessionTask::askToRedirect(const HTTPURLResponse& response, URLRequest next) {
    std::shared_ptr<URLSessionDelegate> delegate = session_->delegate();
    if (!delegate) return next;
    struct Decision {
        std::mutex lock;
        std::condition_variable decided;
        bool done = false;
        std::optional<URLRequest> request;
    };
    auto decision = std::make_shared<Decision>();
    auto self = shared_from_this();
    session_->delegateQueue().async([self, delegate, decision, response, next = std::move(next)]() mutable {
        delegate->URLSession(*self->session_, *self, response, std::move(next),
                             [decision](std::optional<URLRequest> request) {
                                 std::lock_guard guard(decision->lock);
                                 if (decision->done) return;
                                 decision->request = std::move(request);
                                 decision->done = true;
                                 decision->decided.notify_all();
                             });
    });
    std::unique_lock lock(decision->lock);
    decision->decided.wait(lock, [&] { return decision->done; });
    return std::move(decision->request);
}

void URLSessionTask::finish(std::optional<HTTPURLResponse> response, Data body, std::optional<Error> error) {
    if (cancelled_.load() && !error) {
        response.reset();
        error = URLError::make(URLError::Cancelled, originalRequest_.url);
    }
    std::filesystem::path downloaded;
    if (response && kind_ == Kind::Download) {
        std::filesystem::path folder = paths::cachesDir() / "URLSessionDownloads";
        downloaded = folder / ("Download_" + UUID().uuidString() + ".tmp");
        if (AtomicFile::createDirectories(folder) ||
            AtomicFile::write(downloaded,
                              std::string_view(reinterpret_cast<const char*>(body.data()), body.size()),
                              AtomicFile::Options())) {
            response.reset();
            downloaded.clear();
            error = URLError::make(URLError::CannotCreateFile, originalRequest_.url);
        }
    }
    {
        std::lock_guard guard(lock_);
        response_ = response;
    }
    std::shared_ptr<URLSessionDelegate> delegate = session_->delegate();
    auto self = shared_from_this();
    session_->delegateQueue().async([self, delegate, body = std::move(body), downloaded,
                                     error = std::move(error), hasReply = response.has_value()] {
        if (delegate) {
            if (hasReply && self->kind_ == Kind::Download) {
                delegate->URLSession(*self->session_, static_cast<URLSessionDownloadTask&>(*self),
                                     downloaded);
            } else if (hasReply && !body.empty()) {
                delegate->URLSession(*self->session_, *self, body);
            }
        }
        if (!downloaded.empty()) paths::removeOwn(downloaded);
        self->state_.store(State::Completed);
        if (delegate) delegate->URLSession(*self->session_, *self, error);
        self->session_->taskFinished();
    });
}

} // namespace plat
