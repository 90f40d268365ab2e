// Events, their clock snapshots and product data: defaults, copies, archiving and ordering.
#include "TransportTestSupport.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTRPlatform.h"

#include "platform/foundation/KeyedArchiver.h"

#include <cctype>

using namespace transporttest;

namespace {

// An archive of an event whose fields are written by hand, to leave some out.
class PartialEvent : public plat::SecureCoding {
public:
    bool withID = true, withBytes = true;
    std::string className() const override { return "TTREvent"; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override {
        if (withID) coder.encodeObject(plat::Object("ABC"), "TTREventEventIDKey");
        coder.encodeObject(plat::Object("2102"), "TTREventMappingIDKey");
        coder.encodeInt64(1001, "TTREventTargetKey");
        if (withBytes)
            coder.encodeObject(plat::Object(plat::toData("bytes")), "TTREventSerializedDataObjectBytesKey");
    }
};

std::shared_ptr<TTREvent> roundTrip(const plat::SecureCoding& object, plat::Error* error = nullptr) {
    std::optional<plat::Data> bytes = plat::KeyedArchiver::archivedDataWithRootObject(object, true);
    EXPECT_TRUE(bytes);
    return TTRDecodeArchive<TTREvent>(*bytes, error);
}

TEST(TTREvent, ANewEventHasItsDefaultsAndAnIdOfThirtyTwoCapitalHexDigits) {
    const double before = plat::Date::now().secondsSince1970;
    auto event = TTREvent::initWithMappingID("2102", 1001);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->qosTier(), 3);
    EXPECT_FALSE(event->clockSnapshot());
    EXPECT_FALSE(event->serializedDataObjectBytes());
    EXPECT_NEAR(event->expirationDate().secondsSince1970 - before, 604800, 5);
    EXPECT_EQ(event->eventID().size(), 32u);
    for (char c : event->eventID())
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'))
            << event->eventID();
    EXPECT_NE(TTREvent::nextEventID(), TTREvent::nextEventID());
}

TEST(TTREvent, AnInvalidMappingIDOrTargetGivesNoEventAndLogsTheAssertion) {
    LogCapture log;
    EXPECT_FALSE(TTREvent::initWithMappingID("", 1001));
    EXPECT_TRUE(log.contains("[TesseraTransport][I-TTR001006] (TTREvent.cpp:"));
    EXPECT_TRUE(log.contains(") : Please give a valid mapping ID"));
    EXPECT_FALSE(TTREvent::initWithMappingID("2102", 0));
    EXPECT_FALSE(TTREvent::initWithMappingID("2102", -1));
    EXPECT_TRUE(log.contains("A target cannot be negative or 0"));
}

TEST(TTREvent, APayloadWithoutBytesLeavesNoSerializedBytes) {
    auto event = TTREvent::initWithMappingID("2102", 1001);
    event->setDataObject(std::make_shared<BytesObject>(plat::toData("x")));
    event->setDataObject(std::make_shared<BytesObject>(std::nullopt));
    EXPECT_FALSE(event->serializedDataObjectBytes());
}

TEST(TTREvent, ACopyKeepsIdTierClockAndCustomBytesButGetsAFreshExpiration) {
    auto event = makeEvent("2102", 1001);
    event->setQosTier(4);
    event->setClockSnapshot(std::make_shared<TTRClock>(1, 2, 3, 4));
    event->setCustomBytes(plat::toData("custom"));
    event->setExpirationDate(plat::Date{1000});
    auto copy = event->copy();
    EXPECT_EQ(copy->eventID(), event->eventID());
    EXPECT_EQ(copy->qosTier(), 4);
    EXPECT_TRUE(copy->clockSnapshot()->isEqual(*event->clockSnapshot()));
    EXPECT_EQ(copy->customBytes(), event->customBytes());
    EXPECT_EQ(copy->serializedDataObjectBytes(), event->serializedDataObjectBytes());
    EXPECT_GT(copy->expirationDate().secondsSince1970, 1e9);
    EXPECT_TRUE(copy->isEqual(*event));
    EXPECT_EQ(copy->hash(), event->hash());
    copy->setQosTier(3);
    EXPECT_FALSE(copy->isEqual(*event));
}

TEST(TTREvent, EqualityComparesFieldsNotHashes) {
    auto a = makeEvent("2102", 1001);
    auto b = a->copy();
    // Tier and target enter the hash by exclusive-or: swapping bit patterns between them keeps the
    // hash while the fields differ.
    a->setQosTier(1);
    b->setQosTier(0);
    auto c = TTREvent::initWithMappingID("2102", 1000);
    c->setEventID(a->eventID());
    c->setDataObject(a->dataObject());
    c->setQosTier(0);
    EXPECT_EQ((a->target() ^ a->qosTier()), (c->target() ^ c->qosTier()));
    EXPECT_EQ(a->hash(), c->hash());
    EXPECT_FALSE(a->isEqual(*c));
    EXPECT_FALSE(a->isEqual(*b));
}

TEST(TTREvent, ArchivingKeepsEveryStoredFieldButNotThePayloadObject) {
    auto event = TTREvent::initWithMappingID("2102", std::make_shared<TTRProductData>(-7), 1001);
    event->setDataObject(std::make_shared<BytesObject>(plat::toData("wire bytes")));
    event->setQosTier(4);
    event->setClockSnapshot(std::make_shared<TTRClock>(1700000000123, 3600, 1690000000000000000, 42));
    event->setCustomBytes(plat::toData("custom"));
    event->setExpirationDate(plat::Date{1800000000.0});
    plat::Error error;
    auto decoded = roundTrip(*event, &error);
    ASSERT_TRUE(decoded) << error.localizedDescription();
    EXPECT_TRUE(decoded->isEqual(*event));
    EXPECT_EQ(decoded->expirationDate(), event->expirationDate());
    EXPECT_EQ(decoded->customBytes(), event->customBytes());
    EXPECT_EQ(decoded->productData()->productID(), -7);
    EXPECT_FALSE(decoded->dataObject());
    // A copy of a decoded event keeps its bytes even though it has no payload object.
    EXPECT_EQ(decoded->copy()->serializedDataObjectBytes(), event->serializedDataObjectBytes());
}

TEST(TTREvent, DecodingFillsAMissingIdAndRefusesMissingBytesOrWrongKinds) {
    PartialEvent noID;
    noID.withID = false;
    auto decoded = roundTrip(noID);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->eventID().size(), 32u);
    PartialEvent noBytes;
    noBytes.withBytes = false;
    EXPECT_FALSE(roundTrip(noBytes));

    class WrongKind : public PartialEvent {
        void encodeWithCoder(plat::KeyedArchiver& coder) const override {
            PartialEvent::encodeWithCoder(coder);
            coder.encodeObject(plat::Object(int64_t(5)), "TTREventMappingIDKey");
        }
    } wrongKind;
    plat::Error error;
    EXPECT_FALSE(roundTrip(wrongKind, &error));
    EXPECT_EQ(error.code, plat::KeyedArchiver::kReadCorruptError);
}

TEST(TTRClock, ALaterBootWinsOverTheWallClockAndTheFutureSnapshotMovesOnlyTheWallTime) {
    TTRClock earlierBoot(2000000000000, 0, 100, 5);
    TTRClock laterBoot(1000000000000, 0, 200, 5);
    EXPECT_TRUE(laterBoot.isAfter(earlierBoot));
    EXPECT_FALSE(earlierBoot.isAfter(laterBoot));
    TTRClock sameBootLater(1000, 3600, 100, 5);
    TTRClock sameBootEarlier(1000, 0, 100, 5);
    EXPECT_TRUE(sameBootLater.isAfter(sameBootEarlier));

    auto now = TTRClock::snapshot();
    auto future = TTRClock::clockSnapshotInTheFuture(900000);
    EXPECT_NEAR(static_cast<double>(future->timeMillis() - now->timeMillis()), 900000, 1000);
    EXPECT_EQ(future->kernelBootTimeNanoseconds(), now->kernelBootTimeNanoseconds());
    EXPECT_GT(now->kernelBootTimeNanoseconds(), 0);
    EXPECT_EQ(now->kernelBootTimeNanoseconds() % 1000000000, 0);
    EXPECT_GE(future->uptimeNanoseconds(), now->uptimeNanoseconds());
    EXPECT_EQ(now->uptimeMilliseconds(), now->uptimeNanoseconds() / 1000000);
    // The boot instant plus the uptime is the wall time, to within the kernel's whole seconds.
    EXPECT_NEAR(static_cast<double>(now->kernelBootTime() + now->uptime()) / 1e6,
                static_cast<double>(now->timeMillis()), 1500);
}

TEST(TTRProductData, EqualityIsTheIdAndTheHashItsSignExtension) {
    TTRProductData a(-3), b(-3), c(4);
    EXPECT_TRUE(a.isEqualToProductData(&b));
    EXPECT_FALSE(a.isEqualToProductData(&c));
    EXPECT_FALSE(a.isEqualToProductData(nullptr));
    EXPECT_EQ(a.hash(), static_cast<size_t>(int64_t(-3)));
    EXPECT_EQ(a.copy()->productID(), -3);
}

} // namespace
