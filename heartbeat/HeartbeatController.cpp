#include "heartbeat/HeartbeatController.h"

#include "heartbeat/HeartbeatStorage.h"

#include <cmath>

namespace heartbeat {
namespace {

HeartbeatStorageProtocol::Transform flushTransform() {
    return [](std::optional<HeartbeatsBundle> bundle) -> std::optional<HeartbeatsBundle> {
        if (!bundle) return std::nullopt;
        // The last dates survive, so a flush never makes a new heartbeat due the same day.
        return HeartbeatsBundle(HeartbeatController::kHeartbeatsStoreCapacity,
                                bundle->lastAddedHeartbeatDates);
    };
}

} // namespace

plat::Date HeartbeatController::standardize(plat::Date date) {
    if (!std::isfinite(date.secondsSince1970)) return date;
    return plat::Date{std::floor(date.secondsSince1970 / 86400.0) * 86400.0};
}

HeartbeatController::HeartbeatController(const std::string& id)
    : HeartbeatController(id, [] { return plat::Date::now(); }) {}

HeartbeatController::HeartbeatController(const std::string& id, DateProvider dateProvider)
    : HeartbeatController(HeartbeatStorage::getInstance(id), std::move(dateProvider)) {}

HeartbeatController::HeartbeatController(std::shared_ptr<HeartbeatStorageProtocol> storage,
                                         DateProvider dateProvider)
    : storage_(std::move(storage)),
      dateProvider_([given = std::move(dateProvider)] { return standardize(given()); }) {}

void HeartbeatController::log(const std::string& agent) {
    const plat::Date today = dateProvider_();
    storage_->readAndWriteAsync([agent, today](std::optional<HeartbeatsBundle> stored)
                                    -> std::optional<HeartbeatsBundle> {
        HeartbeatsBundle bundle = stored ? std::move(*stored) : HeartbeatsBundle(kHeartbeatsStoreCapacity);
        std::vector<TimePeriod> due;
        for (TimePeriod period : TimePeriods::allCases) {
            auto last = bundle.lastAddedHeartbeatDates.find(period);
            // A period without an entry has never had a heartbeat, so it is due.
            if (last == bundle.lastAddedHeartbeatDates.end() ||
                today.secondsSince1970 - last->second.secondsSince1970 >= TimePeriods::timeInterval(period))
                due.push_back(period);
        }
        if (!due.empty()) bundle.append(Heartbeat(agent, today, std::move(due), 0));
        return bundle;
    });
}

HeartbeatsPayload HeartbeatController::flush() {
    try {
        if (auto previous = storage_->getAndSet(flushTransform())) return previous->makeHeartbeatsPayload();
    } catch (const std::exception&) {
        // A failed save leaves the old bundle on disk; the next flush sends it.
    }
    return HeartbeatsPayload::emptyPayload();
}

void HeartbeatController::flushAsync(std::function<void(HeartbeatsPayload)> completion) {
    storage_->getAndSetAsync(flushTransform(), [completion = std::move(completion)](
                                                   HeartbeatStorageProtocol::GetAndSetResult result) {
        if (result.succeeded() && result.previous)
            completion(result.previous->makeHeartbeatsPayload());
        else
            completion(HeartbeatsPayload::emptyPayload());
    });
}

HeartbeatsPayload HeartbeatController::flushHeartbeatFromToday() {
    const plat::Date today = dateProvider_();
    std::optional<Heartbeat> removed;
    storage_->readAndWriteSync(
        [&](std::optional<HeartbeatsBundle> bundle) -> std::optional<HeartbeatsBundle> {
            if (!bundle) return std::nullopt;
            removed = bundle->removeHeartbeat(today);
            return bundle;
        });
    if (!removed) return HeartbeatsPayload::emptyPayload();
    return HeartbeatsPayload({{removed->agent, {removed->date}}}, 2);
}

} // namespace heartbeat
