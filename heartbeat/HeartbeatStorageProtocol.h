// The storage operations the heartbeat controller uses: read-modify-write of one optional bundle,
// synchronous or not, and get-and-set, which answers the bundle as it was before.
#pragma once

#include "heartbeat/HeartbeatsBundle.h"

#include <exception>
#include <functional>
#include <optional>

namespace heartbeat {

class HeartbeatStorageProtocol {
public:
    using Transform = std::function<std::optional<HeartbeatsBundle>(std::optional<HeartbeatsBundle>)>;
    // The outcome of get-and-set: the previous bundle, or the error that kept the new one from
    // being saved.
    struct GetAndSetResult {
        std::optional<HeartbeatsBundle> previous;
        std::exception_ptr error;
        bool succeeded() const { return !error; }
    };

    virtual ~HeartbeatStorageProtocol() = default;
    // Load errors count as no bundle; save errors are dropped.
    virtual void readAndWriteSync(const Transform& transform) = 0;
    virtual void readAndWriteAsync(Transform transform) = 0;
    // Throws the save error; otherwise answers the bundle loaded before the transform.
    virtual std::optional<HeartbeatsBundle> getAndSet(const Transform& transform) = 0;
    virtual void getAndSetAsync(Transform transform, std::function<void(GetAndSetResult)> completion) = 0;
};

} // namespace heartbeat
