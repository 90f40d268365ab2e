// One upload attempt for one target: checks that the target may upload now, moves its stored events
// into a batch (with the client-metrics event when the target has a metrics controller), POSTs the
// batch as one ttw_BatchedLogRequest, records the wait the server asks for, and then deletes the
// batch's events or returns them to storage according to the HTTP status. An asynchronous
// operation: start() runs the chain, whose steps run on the uploader's queue, and the operation is
// finished when the chain settles. It performs at most one request.
//
// Nothing is lost to a failure: the events are deleted only after a 2xx or a non-transient refusal
// has been received, so a process killed between the reply and the deletion leaves the batch on disk
// and the next attempt sends it again.
//
// Where the members live: TTWUploadOperation.cpp holds the operation's state and the upload chain
// up to the batch; TTWUploadOperationRequest.cpp the request, its sending and the reply's handling.
#pragma once

#include "transport/TTRStorageProtocol.h"
#include "transport/TTRUploadBatch.h"
#include "transport/TTRUploader.h"
#include "transport/TTWURLSessionDataResponse.h"
#include "transport/TTWUploadMetadataProvider.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSession.h"
#include "promises/TPRPromise.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TTRMetrics;

// The target whose requests carry no API key: a 301 or 302 away from the configured server is sent
// again with its headers.
inline constexpr int64_t kTTWKeylessTarget = 1000;
// The longest wait a reply may impose (one day); longer or negative waits are clamped.
inline constexpr uint64_t kTTWMaxNextUploadWaitMillis = 86400000;
// The wait after a reply that names none: 15 minutes.
inline constexpr uint64_t kTTWDefaultNextUploadWaitMillis = 900000;
// How long a batch stays claimed by an upload before the expiration sweep gives its events back.
inline constexpr double kTTWBatchExpirationSeconds = 600;

class TTWUploadOperation : public std::enable_shared_from_this<TTWUploadOperation> {
public:
    static std::shared_ptr<TTWUploadOperation>
    initWithTarget(int64_t target, uint32_t conditions, std::string uploadURL, plat::DispatchQueue queue,
                   std::shared_ptr<TTRStoragePromiseProtocol> storage,
                   std::shared_ptr<TTWUploadMetadataProvider> metadataProvider,
                   std::shared_ptr<TTRMetricsControllerProtocol> metricsController);

    bool isAsynchronous() const { return true; }
    // Marks the operation executing and runs the upload chain; a cancelled operation only finishes.
    void start();
    // Stops the chain at its next check; an operation that has not started is finished at once.
    void cancel();
    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;
    // Blocks until the operation is finished (never call it from the uploader's queue).
    void waitUntilFinished() const;
    // Whether a request was about to be sent.
    bool uploadAttempted() const;
    int64_t target() const { return target_; }
    std::string description() const;

    // The chain's steps ---------------------------------------------------------------------------
    // Fulfils with null when readyToUploadTarget says so, else rejects with the reason.
    TPRPromise::Ptr isReadyToUploadTarget(int64_t target, uint32_t conditions);
    // No network: no. High priority: yes. Otherwise yes unless the server's wait has not passed.
    bool readyToUploadTarget(int64_t target, uint32_t conditions) const;
    // Every event of the target for a forced upload; otherwise the QoS tiers of the network.
    TTRStorageEventSelector eventSelectorTarget(int64_t target, uint32_t conditions) const;
    // The batch with the metrics event added; the unchanged batch when no metrics can be had.
    TPRPromise::Ptr batchByAddingMetricsEventToBatch(std::shared_ptr<const TTRUploadBatch> batch,
                                                     int64_t target);
    // Sends the batch and settles it: kept or deleted by status, or returned after a failure.
    TPRPromise::Ptr uploadBatch(std::shared_ptr<const TTRUploadBatch> batch, int64_t target,
                                std::shared_ptr<TTRStoragePromiseProtocol> storage);
    // Fulfils with the reply; rejects with the network error, or when there is no body to send.
    TPRPromise::Ptr sendURLRequestWithBatch(std::shared_ptr<const TTRUploadBatch> batch, int64_t target);
    // The encoded ttw_BatchedLogRequest of the events, grouped by mapping id.
    plat::Data constructRequestProtoWithEvents(const TTREvents& events) const;
    // The POST with the target's key, agent and content headers; none for empty data.
    std::optional<plat::URLRequest> constructRequestWithURL(const std::string& url, int64_t target,
                                                            const plat::Data& data) const;
    // Records the reply's wait (or Retry-After, or 15 minutes) as the target's next upload time.
    void updateNextUploadTimeWithResponse(const TTWURLSessionDataResponse& response, int64_t target);
    // Deletes or returns the batch's events by status; counts a 400's events as dropped.
    TPRPromise::Ptr processResponse(const TTWURLSessionDataResponse& response,
                                    std::shared_ptr<const TTRUploadBatch> batch,
                                    std::shared_ptr<TTRStoragePromiseProtocol> storage);
    // A 301 or 302 is sent again to its Location with the same body: as this operation's own
    // request on the configured server (scheme, host and port), as the keyless target's anywhere
    // else. Other redirects go on as proposed. No redirect carries the API key to another server.
    std::optional<plat::URLRequest> willPerformHTTPRedirection(const plat::HTTPURLResponse& response,
                                                               plat::URLRequest proposed) const;
    // Domain "TTWUploader", code -1, `reason` as the localized failure reason.
    static plat::Error genericRejectedPromiseErrorWithReason(const std::string& reason);
    // The agent text of a target: "tesseratransport/0.0.1 <name>support/0.0.1 apple/".
    static std::string userAgentForTarget(int64_t target);

private:
    TTWUploadOperation(int64_t target, uint32_t conditions, std::string uploadURL, plat::DispatchQueue queue,
                       std::shared_ptr<TTRStoragePromiseProtocol> storage,
                       std::shared_ptr<TTWUploadMetadataProvider> metadataProvider,
                       std::shared_ptr<TTRMetricsControllerProtocol> metricsController);
    TPRPromise::Ptr uploadTarget(int64_t target, uint32_t conditions);
    void finish();
    std::shared_ptr<plat::URLSession> uploaderSessionCreateIfNeeded();
    std::shared_ptr<const TTRMetrics> currentMetrics() const;

    const int64_t target_;
    const uint32_t conditions_;
    const std::string uploadURL_;
    const plat::DispatchQueue uploaderQueue_;
    const std::shared_ptr<TTRStoragePromiseProtocol> storage_;
    const std::shared_ptr<TTWUploadMetadataProvider> metadataProvider_;
    const std::shared_ptr<TTRMetricsControllerProtocol> metricsController_;

    mutable std::mutex lock_;
    mutable std::condition_variable finishedSignal_;
    bool executing_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    bool uploadAttempted_ = false;
    std::shared_ptr<const TTRMetrics> currentMetrics_;
    std::shared_ptr<plat::URLSession> uploaderSession_;
    std::shared_ptr<plat::URLSessionDataTask> currentTask_;
    std::optional<plat::Data> currentBody_; // the body of the request, for redirects
};
