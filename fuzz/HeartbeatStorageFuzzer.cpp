// The stored heartbeat bundle: whatever the file holds, a load-transform-save turn completes, and
// a bundle it read is saved so that the next turn reads the same bundle.
#include "fuzz/FuzzSupport.h"
#include "heartbeat/HeartbeatStorage.h"
#include "heartbeat/Storage.h"

namespace {

// The stored bytes, kept in memory so each input costs no file work.
struct MemoryStorage final : heartbeat::Storage {
    plat::Data bytes;
    plat::Data read() override { return bytes; }
    void write(const std::optional<plat::Data>& data) override { bytes = data.value_or(plat::Data{}); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto storage = std::make_shared<MemoryStorage>();
    static auto heartbeats = std::make_shared<heartbeat::HeartbeatStorage>("fuzz", storage);
    storage->bytes.assign(data, data + size);
    auto same = [](std::optional<heartbeat::HeartbeatsBundle> bundle) { return bundle; };
    std::optional<heartbeat::HeartbeatsBundle> first;
    try {
        first = heartbeats->getAndSet(same);
    } catch (const std::exception&) {
        // A bundle that cannot be encoded is not saved; the error reaches the caller.
        return 0;
    }
    auto second = heartbeats->getAndSet(same);
    fuzz::check(second == first, "a saved bundle reads back equal");
    return 0;
}
