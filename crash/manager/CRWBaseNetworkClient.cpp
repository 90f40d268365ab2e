#include "crash/manager/CRWBaseNetworkClient.h"

#include "crash/manager/CRWNetworkResponseHandler.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/net/URLError.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::optional<std::string> writeDownloadedFile(const plat::Data& data) {
    static std::atomic<uint64_t> counter{0};
    std::filesystem::path folder = plat::paths::cachesDir() / "com.crashwatch.downloads";
    if (!plat::paths::ensureDirectory(folder)) return std::nullopt;
    std::filesystem::path file = folder / ("download-" + std::to_string(getpid()) + "-" +
                                           std::to_string(counter.fetch_add(1)) + ".tmp");
    std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
    if (!plat::paths::writeFileAtomically(file, bytes)) return std::nullopt;
    return file.string();
}

} // namespace

CRWBaseNetworkClient::CRWBaseNetworkClient(std::optional<plat::DispatchQueue> queue,
                                           plat::Scheduler& scheduler)
    : session_(queue ? *queue : plat::DispatchQueue::serial("com.tessera.crashwatch.network-client")),
      scheduler_(scheduler) {}

std::shared_ptr<plat::URLSessionDataTask>
CRWBaseNetworkClient::makeTask(const plat::URLRequest& request,
                               plat::URLSessionDataTask::Completion completion) {
    std::lock_guard guard(mutex_);
    if (invalidated_) return nullptr;
    auto task = session_.dataTask(request, std::move(completion));
    std::erase_if(tasks_, [](const auto& weak) { return weak.expired(); });
    tasks_.push_back(task);
    return task;
}

void CRWBaseNetworkClient::startTask(const plat::URLRequest& request, int retryLimit, int tries,
                                     RawCompletion completion) {
    std::weak_ptr<CRWBaseNetworkClient> weakSelf = weak_from_this();
    auto task = makeTask(request, [weakSelf, request, retryLimit, tries,
                                   completion](std::optional<plat::Data> data,
                                               std::optional<plat::HTTPURLResponse> response,
                                               std::optional<plat::Error> error) {
        CRWNetworkResponseHandler::handleCompletedResponse(
            response, request, error, [&](bool retry, std::optional<plat::Error> outcome) {
                if (!retry) {
                    completion(outcome ? std::nullopt : std::move(data), std::move(response),
                               std::move(outcome));
                    return;
                }
                if (tries >= retryLimit) {
                    completion(std::nullopt, std::nullopt,
                               CRWNetworkResponseHandler::errorForCode(
                                   CRWNetworkErrorRetryLimit,
                                   {{"retryLimit", static_cast<int64_t>(retryLimit)},
                                    {plat::URLError::kFailingURLStringKey, request.url}}));
                    return;
                }
                auto self = weakSelf.lock();
                if (!self) {
                    completion(std::nullopt, std::nullopt,
                               CRWNetworkResponseHandler::errorForCode(CRWNetworkErrorNoTask, {}));
                    return;
                }
                self->runAfterRetryValueFromResponse(
                    response, tries, [weakSelf, request, retryLimit, tries, completion] {
                        if (auto client = weakSelf.lock())
                            client->startTask(request, retryLimit, tries + 1, completion);
                        else
                            completion(std::nullopt, std::nullopt,
                                       CRWNetworkResponseHandler::errorForCode(CRWNetworkErrorNoTask, {}));
                    });
            });
    });
    if (!task) {
        completion(std::nullopt, std::nullopt,
                   CRWNetworkResponseHandler::errorForCode(CRWNetworkErrorNoTask, {}));
        return;
    }
    task->resume();
}

void CRWBaseNetworkClient::startDataTaskWithRequest(const plat::URLRequest& request, int retryLimit,
                                                    int tries, DataCompletion completionHandler) {
    startTask(request, retryLimit, tries, std::move(completionHandler));
}

void CRWBaseNetworkClient::startDownloadTaskWithRequest(const plat::URLRequest& request, int retryLimit,
                                                        int tries, DownloadCompletion completionHandler) {
    startTask(
        request, retryLimit, tries,
        [completionHandler](std::optional<plat::Data> data, std::optional<plat::HTTPURLResponse> response,
                            std::optional<plat::Error> error) {
            std::optional<std::string> location;
            if (!error && data) {
                location = writeDownloadedFile(*data);
                if (!location)
                    error = plat::URLError::make(plat::URLError::Unknown, response ? response->url : "");
            }
            completionHandler(location, std::move(response), std::move(error));
            // Like a download task, the file is gone once the completion has had its chance to
            // move it.
            if (location) plat::paths::removeOwn(*location);
        });
}

void CRWBaseNetworkClient::invalidateAndCancel() {
    std::vector<std::shared_ptr<plat::URLSessionDataTask>> running;
    {
        std::lock_guard guard(mutex_);
        invalidated_ = true;
        for (auto& weak : tasks_)
            if (auto task = weak.lock()) running.push_back(task);
        tasks_.clear();
    }
    for (auto& task : running)
        task->cancel();
}

double CRWBaseNetworkClient::randomDoubleWithMin(double min, double max) {
    return min + (max - min) * drand48();
}

double CRWBaseNetworkClient::generateRandomJitter() {
    // The bounds are single-precision constants widened to double.
    return randomDoubleWithMin(static_cast<double>(0.9f), static_cast<double>(1.1f));
}

double CRWBaseNetworkClient::computeDelayForResponse(const std::optional<plat::HTTPURLResponse>& response,
                                                     int tries) {
    std::optional<double> retryAfter = CRWNetworkResponseHandler::retryValueForResponse(response);
    double base = (!retryAfter || *retryAfter < 0) ? 2.0 : *retryAfter;
    return generateRandomJitter() * std::pow(std::fmax(base, 2.0), std::max(tries, 1));
}

void CRWBaseNetworkClient::runAfterRetryValueFromResponse(
    const std::optional<plat::HTTPURLResponse>& response, int attempts, const plat::DispatchQueue& queue,
    plat::Block block) {
    double delay = computeDelayForResponse(response, attempts);
    queue.asyncAfter(plat::durationFromSeconds(delay), std::move(block), scheduler_);
}
