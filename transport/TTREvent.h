// The record that travels through the event transport: a unique id, the backend's log source
// (mapping id), the upload target, the payload as serialized bytes, a QoS tier, the send-time clock
// snapshot, an expiration date and optional product data. Made by a transport, filled on the
// client's thread, then copied on send, so the client may reuse it. Archived with secure coding as
// "TTREvent"; the payload object itself is never archived, only its bytes. Carries no lock.
#pragma once

#include "transport/TTRClock.h"
#include "transport/TTREventDataObject.h"
#include "transport/TTRProductData.h"

#include "platform/foundation/SecureCoding.h"
#include "platform/object/Object.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TTREvent : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TTREvent";
    // How long a stored event waits for its upload before it is deleted unsent: 7 days.
    static constexpr double kDefaultExpirationInterval = 604800;
    static constexpr int64_t kDefaultQoSTier = 3;

    // A new event: a fresh id, tier 3, expiring 7 days from now. Null, after the transport's
    // assertion, for an empty mapping id or a target below 1.
    static std::shared_ptr<TTREvent> initWithMappingID(const std::string& mappingID,
                                                       std::shared_ptr<const TTRProductData> productData,
                                                       int64_t target);
    static std::shared_ptr<TTREvent> initWithMappingID(const std::string& mappingID, int64_t target) {
        return initWithMappingID(mappingID, nullptr, target);
    }
    // A new id: an upper-case UUID without its dashes, 32 hexadecimal characters. Any thread.
    static std::string nextEventID();

    const std::string& eventID() const { return eventID_; }
    void setEventID(std::string eventID) { eventID_ = std::move(eventID); }
    const std::string& mappingID() const { return mappingID_; }
    int64_t target() const { return target_; }
    const std::shared_ptr<const TTREventDataObject>& dataObject() const { return dataObject_; }
    // Keeps the object and captures its bytes now; a null object (or one that renders nothing)
    // leaves no bytes.
    void setDataObject(std::shared_ptr<const TTREventDataObject> dataObject);
    const std::optional<plat::Data>& serializedDataObjectBytes() const { return serializedDataObjectBytes_; }
    int64_t qosTier() const { return qosTier_; }
    void setQosTier(int64_t qosTier) { qosTier_ = qosTier; }
    const std::shared_ptr<const TTRClock>& clockSnapshot() const { return clockSnapshot_; }
    void setClockSnapshot(std::shared_ptr<const TTRClock> clock) { clockSnapshot_ = std::move(clock); }
    plat::Date expirationDate() const { return expirationDate_; }
    void setExpirationDate(plat::Date date) { expirationDate_ = date; }
    const std::optional<plat::Data>& customBytes() const { return customBytes_; }
    void setCustomBytes(std::optional<plat::Data> bytes) { customBytes_ = std::move(bytes); }
    const std::shared_ptr<const TTRProductData>& productData() const { return productData_; }

    // A new event with this one's id, mapping id, product data, target, data object (rendered
    // again), tier, clock and custom bytes, but a fresh default expiration date.
    std::shared_ptr<TTREvent> copy() const;

    // The exclusive-or of the fields' hashes; equal events hash alike.
    size_t hash() const;
    // Equal when the id, mapping id, product data, clock, serialized bytes, target and tier are.
    bool isEqual(const TTREvent& other) const;
    std::string description() const;

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Null when the serialized bytes are missing or a field has the wrong kind; a missing id is
    // replaced by a fresh one.
    static std::shared_ptr<TTREvent> initWithCoder(plat::KeyedUnarchiver& coder);

    // For decoding: an event without checks or defaults.
    TTREvent() = default;

private:
    std::string eventID_;
    std::string mappingID_;
    int64_t target_ = 0;
    std::shared_ptr<const TTREventDataObject> dataObject_;
    std::optional<plat::Data> serializedDataObjectBytes_;
    int64_t qosTier_ = 0;
    std::shared_ptr<const TTRClock> clockSnapshot_;
    plat::Date expirationDate_;
    std::optional<plat::Data> customBytes_;
    std::shared_ptr<const TTRProductData> productData_;
};

// A group of events (a batch, the expired events of a sweep).
using TTREvents = std::vector<std::shared_ptr<TTREvent>>;
