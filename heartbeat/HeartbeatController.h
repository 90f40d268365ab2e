// Records usage heartbeats for one app id, at most one per UTC day, and hands the stored ones out
// as a payload. A thin policy over the shared heartbeat storage of the id; it reports no errors.
#pragma once

#include "heartbeat/HeartbeatStorageProtocol.h"
#include "heartbeat/HeartbeatsPayload.h"
#include "platform/object/Object.h"

#include <functional>
#include <memory>
#include <string>

namespace heartbeat {

class HeartbeatController {
public:
    using DateProvider = std::function<plat::Date()>;
    static constexpr int64_t kHeartbeatsStoreCapacity = 30;

    // The shared storage of `id` and the current time.
    explicit HeartbeatController(const std::string& id);
    HeartbeatController(const std::string& id, DateProvider dateProvider);
    HeartbeatController(std::shared_ptr<HeartbeatStorageProtocol> storage, DateProvider dateProvider);

    // Stores a heartbeat for `agent` when a period is due. Returns at once; the date is taken now.
    void log(const std::string& agent);
    // Takes out every stored heartbeat; the empty payload when there are none or the storage fails.
    // Blocks until the storage queue ran it; never call it from that queue.
    HeartbeatsPayload flush();
    // The same; `completion` runs once, on the storage's queue.
    void flushAsync(std::function<void(HeartbeatsPayload)> completion);
    // Takes out only today's heartbeat. Blocks like flush().
    HeartbeatsPayload flushHeartbeatFromToday();

    // Midnight UTC of the date's UTC day (an ISO 8601 calendar at GMT).
    static plat::Date standardize(plat::Date date);

private:
    std::shared_ptr<HeartbeatStorageProtocol> storage_;
    DateProvider dateProvider_;
};

} // namespace heartbeat
