// HTTP(S) requests on libcurl: data tasks whose completion receives the body bytes (empty, never
// absent, when a reply had no body), the response, or an error of the URL-loading domain.
// Completions run on the session's delegate queue. Requests send no "Expect: 100-continue" and no
// content type the caller did not set; gzip replies are decoded; https verifies the peer. Redirects
// are followed (at most 16), or handed to the session's redirect handler when it has one.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace plat {

// Decides where a redirect leads: answers the request to send next (the proposed one, or another)
// or none to stop there and hand the redirect reply itself to the completion. The proposed request
// goes to the Location; after 301, 302 or 303 a POST becomes a GET without a body, while 307 and
// 308 keep method and body. Runs on the transfer's worker thread.
using RedirectHandler =
    std::function<std::optional<URLRequest>(const HTTPURLResponse& redirectResponse, URLRequest proposed)>;

class URLSessionDataTask : public std::enable_shared_from_this<URLSessionDataTask> {
public:
    enum class State { Suspended, Running, Canceling, Completed };
    // Starts the request; later calls do nothing. A started task keeps itself alive until its
    // completion has been handed to the delegate queue.
    void resume();
    // Ends a running request early; its completion receives the "cancelled" error.
    void cancel();
    State state() const { return state_.load(); }
    const URLRequest& originalRequest() const { return request_; }

    using Completion = std::function<void(std::optional<Data> data, std::optional<HTTPURLResponse> response,
                                          std::optional<Error>)>;
    URLSessionDataTask(URLRequest request, Completion completion, DispatchQueue delegateQueue,
                       RedirectHandler redirectHandler = nullptr);

private:
    void perform();
    URLRequest request_;
    Completion completion_;
    DispatchQueue delegateQueue_;
    RedirectHandler redirectHandler_;
    std::atomic<State> state_{State::Suspended};
    std::atomic<bool> cancelled_{false};
};

class URLSession {
public:
    // The shared session; its completions run on a private serial queue.
    static URLSession& shared();
    explicit URLSession(DispatchQueue delegateQueue, RedirectHandler redirectHandler = nullptr);

    // A task that runs `request` once resumed.
    std::shared_ptr<URLSessionDataTask> dataTask(URLRequest request,
                                                 URLSessionDataTask::Completion completion);
    // The same with `body` as the request body.
    std::shared_ptr<URLSessionDataTask> uploadTask(URLRequest request, Data body,
                                                   URLSessionDataTask::Completion completion);

    const DispatchQueue& delegateQueue() const { return delegateQueue_; }

private:
    DispatchQueue delegateQueue_;
    RedirectHandler redirectHandler_;
};

} // namespace plat
