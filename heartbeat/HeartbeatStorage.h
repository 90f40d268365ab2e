// The stored heartbeat bundle of one app id, kept as JSON by a back end. Every load and save runs
// on the instance's own serial queue, so operations on one id never interleave. The process holds
// at most one live instance per id; getInstance hands it out.
#pragma once

#include "heartbeat/HeartbeatStorageProtocol.h"
#include "heartbeat/Storage.h"
#include "platform/dispatch/DispatchQueue.h"

#include <memory>
#include <string>

namespace heartbeat {

class HeartbeatStorage final : public HeartbeatStorageProtocol,
                               public std::enable_shared_from_this<HeartbeatStorage> {
public:
    // The live instance for `id`, or a new one on the file back end. Thread-safe.
    static std::shared_ptr<HeartbeatStorage> getInstance(const std::string& id);

    // An instance on any back end; make it with std::make_shared (queued work keeps it alive).
    HeartbeatStorage(std::string id, std::shared_ptr<Storage> storage);
    ~HeartbeatStorage() override;

    // The synchronous operations must not be called from a block running on queue().
    void readAndWriteSync(const Transform& transform) override;
    void readAndWriteAsync(Transform transform) override;
    std::optional<HeartbeatsBundle> getAndSet(const Transform& transform) override;
    // The completion runs on queue().
    void getAndSetAsync(Transform transform, std::function<void(GetAndSetResult)> completion) override;

    const std::string& id() const { return id_; }
    // "com.heartbeat.storage.<id>".
    const plat::DispatchQueue& queue() const { return queue_; }

private:
    // Throws the back end's or the decoder's error.
    std::optional<HeartbeatsBundle> load();
    void save(const std::optional<HeartbeatsBundle>& bundle);
    std::optional<HeartbeatsBundle> loadOrNothing();
    // Load, transform, save; answers the loaded bundle and stores a save failure in `error`.
    std::optional<HeartbeatsBundle> run(const Transform& transform, std::exception_ptr& error);

    std::string id_;
    std::shared_ptr<Storage> storage_;
    plat::DispatchQueue queue_;
};

} // namespace heartbeat
