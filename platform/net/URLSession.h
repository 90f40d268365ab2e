// HTTP(S) requests on libcurl. A plain session makes data tasks whose completion receives the body
// bytes (empty, never absent, when a reply had no body), the response, or an error of the
// URL-loading domain, on the session's delegate queue; redirects are followed (at most 16), or
// handed to the session's redirect handler when it has one. A delegate session (made from a
// configuration) makes data, upload and download tasks that report to its delegate instead, and
// puts each redirect to it. Requests send no "Expect: 100-continue" and no content type the caller
// did not set; gzip replies are decoded; https verifies the peer against the system's store (the
// default handling of a server-trust challenge, which therefore never reaches a delegate).
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/net/URLSessionDelegate.h"
#include "platform/net/URLSessionTask.h"
#include "platform/object/Error.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
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

class URLSession : public std::enable_shared_from_this<URLSession> {
public:
    // The shared session; its completions run on a private serial queue.
    static URLSession& shared();
    explicit URLSession(DispatchQueue delegateQueue, RedirectHandler redirectHandler = nullptr);

    // A delegate session: its tasks report to `delegate` on `delegateQueue` (a private serial queue
    // when none). The session holds the delegate until it is invalidated and its tasks are done.
    // None for a background configuration without an identifier.
    static std::shared_ptr<URLSession> sessionWithConfiguration(URLSessionConfiguration configuration,
                                                                std::shared_ptr<URLSessionDelegate> delegate,
                                                                std::optional<DispatchQueue> delegateQueue);
    // Tasks of a delegate session, suspended until resumed; none once the session was invalidated
    // (or for an upload from an empty path). An upload from a file reads the file when it starts;
    // a file that cannot be read ends the task with an error.
    std::shared_ptr<URLSessionTask> dataTaskWithRequest(URLRequest request);
    std::shared_ptr<URLSessionTask> uploadTaskWithRequest(URLRequest request, Data body);
    std::shared_ptr<URLSessionTask> uploadTaskWithRequest(URLRequest request,
                                                          const std::filesystem::path& file);
    std::shared_ptr<URLSessionDownloadTask> downloadTaskWithRequest(URLRequest request);
    // No new tasks from now on; the running ones finish, then the delegate is let go.
    void finishTasksAndInvalidate();
    bool isInvalidated() const;
    // The configuration (a default one for plain sessions) and the delegate (none once let go).
    const URLSessionConfiguration& configuration() const { return configuration_; }
    std::shared_ptr<URLSessionDelegate> delegate() const;

    // A task that runs `request` once resumed.
    std::shared_ptr<URLSessionDataTask> dataTask(URLRequest request,
                                                 URLSessionDataTask::Completion completion);
    // The same with `body` as the request body.
    std::shared_ptr<URLSessionDataTask> uploadTask(URLRequest request, Data body,
                                                   URLSessionDataTask::Completion completion);

    const DispatchQueue& delegateQueue() const { return delegateQueue_; }

    // For the tasks: one more running, one finished.
    void taskStarted();
    void taskFinished();

private:
    template <typename Task>
    std::shared_ptr<Task> makeTask(URLSessionTask::Kind kind, URLRequest request, std::optional<Data> body,
                                   std::filesystem::path file);

    DispatchQueue delegateQueue_;
    RedirectHandler redirectHandler_;
    URLSessionConfiguration configuration_;
    mutable std::mutex lock_;
    std::shared_ptr<URLSessionDelegate> delegate_;
    bool invalidated_ = false;
    size_t runningTasks_ = 0;
    uint64_t nextTaskIdentifier_ = 1;
};

} // namespace plat
