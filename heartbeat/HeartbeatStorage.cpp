#include "heartbeat/HeartbeatStorage.h"

#include "heartbeat/FileStorage.h"
#include "platform/foundation/JSONSerialization.h"

#include <map>
#include <mutex>

namespace heartbeat {
namespace {

struct InstanceTable {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<HeartbeatStorage>> cachedInstances;
};

InstanceTable& instances() {
    static auto* table = new InstanceTable; // never destroyed: instances may outlive static teardown
    return *table;
}

} // namespace

std::shared_ptr<HeartbeatStorage> HeartbeatStorage::getInstance(const std::string& id) {
    InstanceTable& table = instances();
    std::lock_guard guard(table.lock);
    if (auto found = table.cachedInstances.find(id); found != table.cachedInstances.end()) {
        if (auto live = found->second.lock()) return live;
    }
    auto instance = std::make_shared<HeartbeatStorage>(id, FileStorage::makeStorage(id));
    table.cachedInstances[id] = instance;
    return instance;
}

HeartbeatStorage::HeartbeatStorage(std::string id, std::shared_ptr<Storage> storage)
    : id_(std::move(id)), storage_(std::move(storage)),
      queue_(plat::DispatchQueue::serial("com.heartbeat.storage." + id_)) {}

HeartbeatStorage::~HeartbeatStorage() {
    // The entry may already name a newer instance made for the same id; only a dead entry goes,
    // so the newer instance (and its queue) stays the only one for the id.
    InstanceTable& table = instances();
    std::lock_guard guard(table.lock);
    if (auto found = table.cachedInstances.find(id_);
        found != table.cachedInstances.end() && found->second.expired())
        table.cachedInstances.erase(found);
}

std::optional<HeartbeatsBundle> HeartbeatStorage::load() {
    plat::Data bytes = storage_->read();
    if (bytes.empty()) return std::nullopt;
    plat::Error error;
    plat::Object json = plat::JSONSerialization::jsonObject(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
        plat::JSONSerialization::ReadingNone, &error);
    if (json.isAbsent())
        throw CodingError(CodingError::Kind::dataCorrupted,
                          "The given data was not valid JSON: " + error.localizedDescription());
    return HeartbeatsBundle::decode(json);
}

void HeartbeatStorage::save(const std::optional<HeartbeatsBundle>& bundle) {
    if (!bundle) {
        storage_->write(std::nullopt);
        return;
    }
    plat::Error error;
    auto json = plat::JSONSerialization::data(bundle->encode(), plat::JSONSerialization::WritingNone, &error);
    if (!json)
        throw CodingError(CodingError::Kind::invalidValue,
                          "Cannot encode the bundle: " + error.localizedDescription());
    storage_->write(plat::toData(*json));
}

std::optional<HeartbeatsBundle> HeartbeatStorage::loadOrNothing() {
    try {
        return load();
    } catch (const std::exception&) {
        // A missing, unreadable or undecodable file counts as no bundle; the next save replaces it.
        return std::nullopt;
    }
}

std::optional<HeartbeatsBundle> HeartbeatStorage::run(const Transform& transform, std::exception_ptr& error) {
    std::optional<HeartbeatsBundle> loaded = loadOrNothing();
    std::optional<HeartbeatsBundle> updated = transform(loaded);
    try {
        save(updated);
    } catch (const std::exception&) {
        error = std::current_exception();
    }
    return loaded;
}

void HeartbeatStorage::readAndWriteSync(const Transform& transform) {
    queue_.sync([&] {
        std::exception_ptr dropped;
        run(transform, dropped);
    });
}

void HeartbeatStorage::readAndWriteAsync(Transform transform) {
    queue_.async([self = shared_from_this(), transform = std::move(transform)] {
        std::exception_ptr dropped;
        self->run(transform, dropped);
    });
}

std::optional<HeartbeatsBundle> HeartbeatStorage::getAndSet(const Transform& transform) {
    std::optional<HeartbeatsBundle> previous;
    std::exception_ptr error;
    queue_.sync([&] { previous = run(transform, error); });
    if (error) std::rethrow_exception(error);
    return previous;
}

void HeartbeatStorage::getAndSetAsync(Transform transform, std::function<void(GetAndSetResult)> completion) {
    queue_.async(
        [self = shared_from_this(), transform = std::move(transform), completion = std::move(completion)] {
            GetAndSetResult result;
            std::optional<HeartbeatsBundle> previous = self->run(transform, result.error);
            if (!result.error) result.previous = std::move(previous);
            completion(std::move(result));
        });
}

} // namespace heartbeat
