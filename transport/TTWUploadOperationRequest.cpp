// The upload operation's request and its settlement: building the POST, sending it, reading the
// server's wait, and deleting or keeping the batch by status.
#include "transport/TTWUploadOperation.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRMetrics.h"
#include "transport/TTWCompressionHelper.h"
#include "transport/TTWLogRequestBuilders.h"
#include "transport/TTWLogResponseDecoding.h"

#include "platform/foundation/URL.h"
#include "platform/net/URLError.h"

#include <pb_decode.h>

#include <charconv>
#include <cmath>

namespace {

constexpr int64_t kDroppedByServerReason = 5;

// The request for the log, without its header values: the API key never reaches a log line.
std::string describe(const plat::URLRequest& request) {
    return "<URLRequest " + request.httpMethod + " " + request.url + ">";
}

// A whole number of milliseconds within [0, the longest wait]; the arithmetic cannot overflow.
uint64_t clampedWait(double millis) {
    if (!(millis > 0)) return 0;
    if (millis >= static_cast<double>(kTTWMaxNextUploadWaitMillis)) return kTTWMaxNextUploadWaitMillis;
    return static_cast<uint64_t>(millis);
}

// Seconds of a Retry-After header written as a decimal number; none for anything else (a date).
std::optional<double> retryAfterSeconds(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    double seconds = 0;
    auto [last, error] = std::from_chars(text.data() + begin, text.data() + end + 1, seconds);
    if (error != std::errc() || last != text.data() + end + 1 || !std::isfinite(seconds)) return std::nullopt;
    return std::trunc(seconds);
}

std::string errorText(const plat::Error& error) {
    std::string text = error.domain + " " + std::to_string(error.code);
    for (const auto& [key, value] : error.userInfo)
        if (value.isString()) text += " " + key + " " + value.string();
    return text;
}

} // namespace

TPRPromise::Ptr TTWUploadOperation::sendURLRequestWithBatch(std::shared_ptr<const TTRUploadBatch> batch,
                                                            int64_t target) {
    auto self = shared_from_this();
    const plat::DispatchQueue queue = uploaderQueue_;
    return TPRPromise::do_(queue, [self, batch, target, queue]() -> TPRValue {
        plat::Data body = self->constructRequestProtoWithEvents(batch->events());
        std::optional<plat::Data> gzipped = TTWCompressionHelper::gzippedData(body);
        if (gzipped && gzipped->size() < body.size()) body = std::move(*gzipped);
        std::optional<plat::URLRequest> request =
            self->constructRequestWithURL(self->uploadURL_, target, body);
        // An empty body is a failed attempt: the events and the metrics go back.
        if (!request)
            return genericRejectedPromiseErrorWithReason(
                "There was no data to construct a request for target " + std::to_string(target) + ".");
        TTRLogDebug("TTW: request containing %lu events for batch: %@ for target: %ld created: %@",
                    static_cast<unsigned long>(batch->events().size()), std::to_string(batch->batchID()),
                    target, describe(*request));
        {
            std::lock_guard guard(self->lock_);
            self->currentBody_ = request->httpBody;
        }
        return TPRPromise::async(
                   queue,
                   [self, request](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
                       std::shared_ptr<plat::URLSession> session = self->uploaderSessionCreateIfNeeded();
                       auto task = session->dataTask(
                           *request, [fulfill, reject](std::optional<plat::Data> data,
                                                       std::optional<plat::HTTPURLResponse> response,
                                                       std::optional<plat::Error> error) {
                               if (error) return reject(*error);
                               fulfill(TTWURLSessionDataResponse::asObject(
                                   std::make_shared<TTWURLSessionDataResponse>(std::move(response),
                                                                               std::move(data))));
                           });
                       {
                           std::lock_guard guard(self->lock_);
                           self->currentTask_ = task;
                       }
                       task->resume();
                   })
            ->always(queue, [self] {
                // One request per operation: the session goes with it.
                std::lock_guard guard(self->lock_);
                self->currentTask_.reset();
                self->uploaderSession_.reset();
            });
    });
}

std::shared_ptr<plat::URLSession> TTWUploadOperation::uploaderSessionCreateIfNeeded() {
    std::lock_guard guard(lock_);
    if (!uploaderSession_) {
        std::weak_ptr<TTWUploadOperation> weak = weak_from_this();
        uploaderSession_ = std::make_shared<plat::URLSession>(
            plat::DispatchQueue::serial("com.tessera.TTWUploadOperation.session"),
            [weak](const plat::HTTPURLResponse& response,
                   plat::URLRequest proposed) -> std::optional<plat::URLRequest> {
                auto self = weak.lock();
                if (!self) return proposed;
                return self->willPerformHTTPRedirection(response, std::move(proposed));
            });
    }
    return uploaderSession_;
}

plat::Data TTWUploadOperation::constructRequestProtoWithEvents(const TTREvents& events) const {
    return TTWEncodeBatchedLogRequest(*TTWConstructBatchedLogRequest(TTWGroupEventsByMappingID(events)));
}

std::optional<plat::URLRequest> TTWUploadOperation::constructRequestWithURL(const std::string& url,
                                                                            int64_t target,
                                                                            const plat::Data& data) const {
    if (data.empty()) {
        TTRLogDebug("There was no data to construct a request for target %ld.", target);
        return std::nullopt;
    }
    plat::URLRequest request(url);
    if (std::optional<std::string> key = metadataProvider_->APIKeyForTarget(target))
        request.setValue(*key, "X-Tessera-Api-Key");
    if (TTWCompressionHelper::isGzipped(data)) request.setValue("gzip", "Content-Encoding");
    request.setValue("application/x-protobuf", "Content-Type");
    request.setValue("gzip", "Accept-Encoding");
    request.setValue(userAgentForTarget(target), "User-Agent");
    request.httpMethod = "POST";
    request.httpBody = data;
    return request;
}

void TTWUploadOperation::updateNextUploadTimeWithResponse(const TTWURLSessionDataResponse& response,
                                                          int64_t target) {
    std::optional<uint64_t> waitMillis;
    if (const std::optional<plat::Data>& body = response.HTTPBody()) {
        plat::Error error;
        ttw_LogResponse decoded = TTWDecodeLogResponse(*body, &error);
        if (!error.domain.empty()) {
            TTRLogDebug("There was a response decoding error: %@", errorText(error));
        } else if (decoded.has_next_request_wait_millis) {
            TTRLogDebug("TTW: The backend responded asking to not upload for %lld millis from now.",
                        static_cast<long long>(decoded.next_request_wait_millis));
            waitMillis = clampedWait(static_cast<double>(decoded.next_request_wait_millis));
        }
        pb_release(ttw_LogResponse_fields, &decoded);
    }
    if (!waitMillis && response.HTTPResponse()) {
        std::optional<std::string> retryAfter = response.HTTPResponse()->value("Retry-After");
        if (retryAfter && !retryAfter->empty())
            if (std::optional<double> seconds = retryAfterSeconds(*retryAfter))
                waitMillis = clampedWait(*seconds * 1000);
    }
    if (!waitMillis) {
        TTRLogDebug("%@",
                    "TTW: The backend response failed to parse, so the next request won't occur until 15 "
                    "minutes from now");
        waitMillis = kTTWDefaultNextUploadWaitMillis;
    }
    metadataProvider_->setNextUploadTime(TTRClock::clockSnapshotInTheFuture(*waitMillis), target);
}

TPRPromise::Ptr TTWUploadOperation::processResponse(const TTWURLSessionDataResponse& response,
                                                    std::shared_ptr<const TTRUploadBatch> batch,
                                                    std::shared_ptr<TTRStoragePromiseProtocol> storage) {
    const int status = response.HTTPResponse() ? response.HTTPResponse()->statusCode : 0;
    const bool success = status >= 200 && status <= 299;
    const bool transient = status == 404 || status == 429 || (status >= 500 && status <= 599);
    const std::string batchID = std::to_string(batch->batchID());
    if (std::shared_ptr<const TTRMetrics> metrics = currentMetrics(); metrics && !success)
        metricsController_->offerMetrics(metrics);
    bool deleteEvents = true;
    if (success) {
        TTRLogDebug("TTW: batch %@ uploaded. Batch will be deleted.", batchID);
    } else if (transient) {
        TTRLogDebug("TTW: batch %@ upload failed. Batch will attempt to be uploaded later.", batchID);
        deleteEvents = false;
    } else {
        TTRLogDebug("TTW: batch %@ upload failed. Batch will be deleted.", batchID);
        if (status == 400 && metricsController_)
            metricsController_->logEventsDroppedForReason(kDroppedByServerReason, batch->events());
    }
    return storage->removeBatchWithID(batch->batchID(), deleteEvents);
}

std::optional<plat::URLRequest>
TTWUploadOperation::willPerformHTTPRedirection(const plat::HTTPURLResponse& response,
                                               plat::URLRequest proposed) const {
    std::optional<plat::URL> configured = plat::URL::string(uploadURL_);
    std::optional<plat::URL> next = plat::URL::string(proposed.url);
    const bool sameServer = configured && next && configured->sameOrigin(*next);
    plat::URLRequest request = std::move(proposed);
    if (response.statusCode == 301 || response.statusCode == 302) {
        std::optional<plat::Data> body;
        {
            std::lock_guard guard(lock_);
            body = currentBody_;
        }
        // Away from the configured server the request goes out as the keyless target's.
        if (std::optional<plat::URLRequest> rebuilt = constructRequestWithURL(
                request.url, sameServer ? target_ : kTTWKeylessTarget, body.value_or(plat::Data())))
            request = std::move(*rebuilt);
    }
    // The API key belongs to the server it was configured for, whatever the status: a hop that
    // leaves that server's scheme, host or port never carries it, and a hop to it always does. A
    // 307 or 308 resends the previous hop's request, so one that comes back from elsewhere would
    // otherwise arrive without the key and have its batch refused and deleted.
    request.setValue(sameServer ? metadataProvider_->APIKeyForTarget(target_) : std::nullopt,
                     "X-Tessera-Api-Key");
    return request;
}
