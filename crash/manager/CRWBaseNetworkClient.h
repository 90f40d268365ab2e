// The crash reporter's HTTP client: one request at a time per call, retried with a jittered
// exponential back-off while the response handler calls the outcome retryable and tries remain.
// Completions run on the session's delegate queue (a serial queue of the client's own unless one
// is given); retries are started from the global queue after their delay. Failures reach the
// caller only as errors of the "CRWNetworkError" domain or of the URL-loading domain; the client
// never throws. Made with std::make_shared (retries hold it weakly).
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/net/URLSession.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CRWBaseNetworkClient : public std::enable_shared_from_this<CRWBaseNetworkClient> {
public:
    using DataCompletion =
        std::function<void(std::optional<plat::Data> data, std::optional<plat::HTTPURLResponse> response,
                           std::optional<plat::Error> error)>;
    // `location` is a file that the completion may move; it is removed once the completion returns.
    using DownloadCompletion =
        std::function<void(std::optional<std::string> location, std::optional<plat::HTTPURLResponse> response,
                           std::optional<plat::Error> error)>;

    static constexpr int kDefaultRetryLimit = 10;

    // Completions on `queue`, or on a new serial queue when none. Retry delays are timed by
    // `scheduler` (tests pass a manual one).
    explicit CRWBaseNetworkClient(std::optional<plat::DispatchQueue> queue = std::nullopt,
                                  plat::Scheduler& scheduler = plat::Scheduler::system());

    void startDataTaskWithRequest(const plat::URLRequest& request, int retryLimit, int tries,
                                  DataCompletion completionHandler);
    void startDataTaskWithRequest(const plat::URLRequest& request, int retryLimit,
                                  DataCompletion completionHandler) {
        startDataTaskWithRequest(request, retryLimit, 0, std::move(completionHandler));
    }
    void startDataTaskWithRequest(const plat::URLRequest& request, DataCompletion completionHandler) {
        startDataTaskWithRequest(request, kDefaultRetryLimit, 0, std::move(completionHandler));
    }

    // The same with the body written to a temporary file under the caches folder.
    void startDownloadTaskWithRequest(const plat::URLRequest& request, int retryLimit, int tries,
                                      DownloadCompletion completionHandler);
    void startDownloadTaskWithRequest(const plat::URLRequest& request, int retryLimit,
                                      DownloadCompletion completionHandler) {
        startDownloadTaskWithRequest(request, retryLimit, 0, std::move(completionHandler));
    }
    void startDownloadTaskWithRequest(const plat::URLRequest& request, DownloadCompletion completionHandler) {
        startDownloadTaskWithRequest(request, kDefaultRetryLimit, 0, std::move(completionHandler));
    }

    // Cancels the running tasks; later requests get no task (error -3) and pending retries end
    // that way too.
    void invalidateAndCancel();

    // Seconds to wait before try number `tries` + 1: jitter x max(Retry-After, 2) ^ max(tries, 1).
    static double computeDelayForResponse(const std::optional<plat::HTTPURLResponse>& response, int tries);
    // Runs `block` on `queue` after that delay.
    void runAfterRetryValueFromResponse(const std::optional<plat::HTTPURLResponse>& response, int attempts,
                                        const plat::DispatchQueue& queue, plat::Block block);
    void runAfterRetryValueFromResponse(const std::optional<plat::HTTPURLResponse>& response, int attempts,
                                        plat::Block block) {
        runAfterRetryValueFromResponse(response, attempts, plat::DispatchQueue::global(), std::move(block));
    }
    // A factor in [0.9, 1.1].
    static double generateRandomJitter();
    static double randomDoubleWithMin(double min, double max);

private:
    using RawCompletion = std::function<void(std::optional<plat::Data>, std::optional<plat::HTTPURLResponse>,
                                             std::optional<plat::Error>)>;
    // The shared retry loop of both task kinds.
    void startTask(const plat::URLRequest& request, int retryLimit, int tries, RawCompletion completion);
    std::shared_ptr<plat::URLSessionDataTask> makeTask(const plat::URLRequest& request,
                                                       plat::URLSessionDataTask::Completion completion);

    plat::URLSession session_;
    plat::Scheduler& scheduler_;
    std::mutex mutex_;
    bool invalidated_ = false;
    std::vector<std::weak_ptr<plat::URLSessionDataTask>> tasks_;
};
