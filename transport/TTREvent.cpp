#include "transport/TTREvent.h"

#include "transport/TTRCoding.h"
#include "transport/TTRConsoleLogger.h"

#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/security/UUID.h"

#include <functional>

namespace {

constexpr const char* kEventIDKey = "TTREventEventIDKey";
constexpr const char* kMappingIDKey = "TTREventMappingIDKey";
constexpr const char* kProductDataKey = "TTREventProductDataKey";
constexpr const char* kTargetKey = "TTREventTargetKey";
constexpr const char* kQoSTierKey = "TTREventQoSTierKey";
constexpr const char* kClockSnapshotKey = "TTREventClockSnapshotKey";
constexpr const char* kCustomDataKey = "TTREventCustomDataKey";
constexpr const char* kExpirationDateKey = "TTREventExpirationDateKey";
constexpr const char* kSerializedDataObjectBytesKey = "TTREventSerializedDataObjectBytesKey";

size_t hashBytes(const std::optional<plat::Data>& bytes) {
    if (!bytes) return 0;
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

template <typename T> bool samePointee(const std::shared_ptr<const T>& a, const std::shared_ptr<const T>& b) {
    if (!a || !b) return !a && !b;
    return a == b || a->isEqual(*b);
}

} // namespace

std::shared_ptr<TTREvent> TTREvent::initWithMappingID(const std::string& mappingID,
                                                      std::shared_ptr<const TTRProductData> productData,
                                                      int64_t target) {
    TTRAssert(!mappingID.empty(), "Please give a valid mapping ID");
    TTRAssert(target >= 1, "A target cannot be negative or 0");
    if (mappingID.empty() || target < 1) return nullptr;
    auto event = std::make_shared<TTREvent>();
    event->eventID_ = nextEventID();
    event->mappingID_ = mappingID;
    event->productData_ = std::move(productData);
    event->target_ = target;
    event->qosTier_ = kDefaultQoSTier;
    event->expirationDate_ = plat::Date{plat::Date::now().secondsSince1970 + kDefaultExpirationInterval};
    TTRLogDebug("Event %@ created. ID:%@ mappingID: %@ target:%ld", event->description(), event->eventID_,
                mappingID, target);
    return event;
}

std::string TTREvent::nextEventID() {
    std::string text = plat::UUID().uuidString();
    std::string id;
    id.reserve(32);
    for (char c : text)
        if (c != '-') id.push_back(c);
    return id;
}

void TTREvent::setDataObject(std::shared_ptr<const TTREventDataObject> dataObject) {
    dataObject_ = std::move(dataObject);
    serializedDataObjectBytes_ = dataObject_ ? dataObject_->transportBytes() : std::nullopt;
}

std::shared_ptr<TTREvent> TTREvent::copy() const {
    std::shared_ptr<TTREvent> copy = initWithMappingID(mappingID_, productData_, target_);
    if (!copy) return nullptr;
    copy->eventID_ = eventID_;
    copy->setDataObject(dataObject_);
    if (!dataObject_) {
        // A decoded event has only its bytes; they travel on with the copy.
        copy->serializedDataObjectBytes_ = serializedDataObjectBytes_;
    }
    copy->qosTier_ = qosTier_;
    copy->clockSnapshot_ = clockSnapshot_;
    copy->customBytes_ = customBytes_;
    TTRLogDebug("Copying event %@ to event %@", description(), copy->description());
    return copy;
}

size_t TTREvent::hash() const {
    std::hash<std::string> s;
    return s(eventID_) ^ s(mappingID_) ^ (productData_ ? productData_->hash() : 0) ^
           (clockSnapshot_ ? clockSnapshot_->hash() : 0) ^ hashBytes(serializedDataObjectBytes_) ^
           static_cast<size_t>(target_) ^ static_cast<size_t>(qosTier_);
}

bool TTREvent::isEqual(const TTREvent& other) const {
    auto sameProduct = [](const std::shared_ptr<const TTRProductData>& a,
                          const std::shared_ptr<const TTRProductData>& b) {
        if (!a || !b) return !a && !b;
        return a->isEqualToProductData(b.get());
    };
    return eventID_ == other.eventID_ && mappingID_ == other.mappingID_ && target_ == other.target_ &&
           qosTier_ == other.qosTier_ && serializedDataObjectBytes_ == other.serializedDataObjectBytes_ &&
           sameProduct(productData_, other.productData_) && samePointee(clockSnapshot_, other.clockSnapshot_);
}

std::string TTREvent::description() const {
    return "<TTREvent eventID:" + eventID_ + " mappingID:" + mappingID_ +
           " target:" + std::to_string(target_) + " qosTier:" + std::to_string(qosTier_) + ">";
}

void TTREvent::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encodeObject(plat::Object(eventID_), kEventIDKey);
    coder.encodeObject(plat::Object(mappingID_), kMappingIDKey);
    coder.encodeObject(std::static_pointer_cast<const plat::SecureCoding>(productData_), kProductDataKey);
    coder.encodeInt64(target_, kTargetKey);
    coder.encodeInt64(qosTier_, kQoSTierKey);
    coder.encodeObject(std::static_pointer_cast<const plat::SecureCoding>(clockSnapshot_), kClockSnapshotKey);
    if (customBytes_) coder.encodeObject(plat::Object(*customBytes_), kCustomDataKey);
    coder.encodeObject(plat::Object(expirationDate_), kExpirationDateKey);
    if (serializedDataObjectBytes_)
        coder.encodeObject(plat::Object(*serializedDataObjectBytes_), kSerializedDataObjectBytesKey);
}

std::shared_ptr<TTREvent> TTREvent::initWithCoder(plat::KeyedUnarchiver& coder) {
    std::optional<std::string> eventID, mappingID;
    std::optional<int64_t> target, qosTier;
    std::optional<plat::Data> customBytes, serialized;
    std::optional<plat::Date> expiration;
    if (!ttr_coding::decodeString(coder, kEventIDKey, eventID) ||
        !ttr_coding::decodeString(coder, kMappingIDKey, mappingID) ||
        !ttr_coding::decodeInt64(coder, kTargetKey, target) ||
        !ttr_coding::decodeInt64(coder, kQoSTierKey, qosTier) ||
        !ttr_coding::decodeData(coder, kCustomDataKey, customBytes) ||
        !ttr_coding::decodeDate(coder, kExpirationDateKey, expiration) ||
        !ttr_coding::decodeData(coder, kSerializedDataObjectBytesKey, serialized))
        return nullptr;
    auto productData = coder.decodeObjectOfClass<TTRProductData>(kProductDataKey);
    auto clock = coder.decodeObjectOfClass<TTRClock>(kClockSnapshotKey);
    if (coder.error()) return nullptr;
    if (!serialized) return nullptr;

    auto event = std::make_shared<TTREvent>();
    event->eventID_ = eventID ? *eventID : nextEventID();
    event->mappingID_ = mappingID.value_or("");
    event->productData_ = std::move(productData);
    event->target_ = target.value_or(0);
    event->qosTier_ = qosTier.value_or(0);
    event->clockSnapshot_ = std::move(clock);
    event->customBytes_ = std::move(customBytes);
    event->expirationDate_ = expiration.value_or(plat::Date{});
    event->serializedDataObjectBytes_ = std::move(serialized);
    return event;
}
