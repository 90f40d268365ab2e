#include "heartbeat/Heartbeat.h"
#include "heartbeat/RingBuffer.h"
#include "platform/foundation/JSONSerialization.h"

#include <gtest/gtest.h>

using namespace heartbeat;

namespace {

plat::Object json(const char* text) {
    return plat::JSONSerialization::jsonObject(text);
}

struct Item {
    int value;
    plat::Object encode() const { return plat::Object(value); }
    static Item decode(const plat::Object& o) { return Item{int(CodedValue::integer(o, "item"))}; }
    bool operator==(const Item&) const = default;
};

std::vector<int> values(const RingBuffer<Item>& ring) {
    std::vector<int> out;
    for (const Item& item : ring.elements())
        out.push_back(item.value);
    return out;
}

} // namespace

TEST(Heartbeat, CodedFormRoundTripsWithReferenceDateSeconds) {
    Heartbeat beat("agent/1", plat::Date::fromReferenceDate(86400), {TimePeriod::daily}, 0);
    plat::Object coded = beat.encode();
    EXPECT_EQ(coded["date"].number().doubleValue(), 86400.0);
    EXPECT_EQ(coded["timePeriods"], plat::Object(plat::Object::Array{plat::Object(1)}));
    auto text = plat::JSONSerialization::data(coded);
    ASSERT_TRUE(text);
    EXPECT_EQ(Heartbeat::decode(plat::JSONSerialization::jsonObject(*text)), beat);

    Heartbeat noPeriods("a", plat::Date::fromReferenceDate(0), {}, 0);
    EXPECT_EQ(noPeriods.encode()["timePeriods"], plat::Object(plat::Object::Array{}));
    EXPECT_EQ(Heartbeat::decode(noPeriods.encode()), noPeriods);
}

TEST(Heartbeat, DecodingIsStrict) {
    EXPECT_NO_THROW(
        Heartbeat::decode(json(R"({"agent":"a","date":0,"version":0,"timePeriods":[1],"extra":true})")));
    const char* bad[] = {
        R"({"agent":"a","date":0,"timePeriods":[1]})",               // no version
        R"({"agent":"a","date":0,"version":0,"timePeriods":[2]})",   // unknown period
        R"({"agent":"a","date":"0","version":0,"timePeriods":[]})",  // date of the wrong kind
        R"({"agent":1,"date":0,"version":0,"timePeriods":[]})",      // agent of the wrong kind
        R"({"agent":"a","date":0,"version":0.5,"timePeriods":[]})",  // fractional version
        R"({"agent":"a","date":0,"version":true,"timePeriods":[]})", // boolean version
        R"([1,2])",
    };
    for (const char* text : bad)
        EXPECT_THROW(Heartbeat::decode(json(text)), CodingError) << text;
}

TEST(RingBuffer, WrapsOverwritingTheOldestAndPopsNewestFirst) {
    RingBuffer<Item> ring(3);
    for (int v : {1, 2, 3})
        EXPECT_FALSE(ring.push(Item{v}));
    EXPECT_EQ(ring.tailIndex(), 0);
    auto overwritten = ring.push(Item{4});
    ASSERT_TRUE(overwritten);
    EXPECT_EQ(overwritten->value, 1);
    EXPECT_EQ(ring.tailIndex(), 1);
    EXPECT_EQ(values(ring), (std::vector<int>{4, 2, 3}));

    EXPECT_EQ(ring.pop()->value, 4);
    EXPECT_EQ(ring.pop()->value, 3);
    EXPECT_EQ(ring.pop()->value, 2);
    EXPECT_FALSE(ring.pop());
    EXPECT_EQ(ring.tailIndex(), 0);
    // Pushes refill from the tail onwards.
    ring.push(Item{5});
    EXPECT_EQ(values(ring), (std::vector<int>{5}));

    RingBuffer<Item> one(1);
    EXPECT_FALSE(one.push(Item{1}));
    EXPECT_EQ(one.push(Item{2})->value, 1);
    EXPECT_EQ(one.push(Item{3})->value, 2);
}

TEST(RingBuffer, NoSlotsStoresNothing) {
    RingBuffer<Item> ring(0);
    EXPECT_FALSE(ring.push(Item{1}));
    EXPECT_FALSE(ring.pop());
    EXPECT_TRUE(ring.elements().empty());
    EXPECT_EQ(ring.encode(), json(R"({"circularQueue":[],"tailIndex":0})"));
}

TEST(RingBuffer, DecodedTailOutsideTheSlotsIsRejectedWithoutTouchingThem) {
    for (int64_t tail : {int64_t(3), int64_t(-1), int64_t(1000), INT64_MIN}) {
        auto ring = RingBuffer<Item>::decode(plat::Object::Dict{
            {"circularQueue",
             plat::Object(plat::Object::Array{plat::Object(1), plat::Object::null(), plat::Object(3)})},
            {"tailIndex", plat::Object(tail)}});
        auto before = ring;
        try {
            ring.push(Item{9});
            FAIL() << "push at " << tail << " succeeded";
        } catch (const RingBuffer<Item>::Error& e) {
            EXPECT_EQ(e.pushIndex, tail);
            EXPECT_EQ(e.endIndex, 3);
        }
        EXPECT_EQ(ring, before);
    }
    EXPECT_EQ(RingBuffer<Item>::Error(3, 3).errorDescription(),
              "Out-of-bounds push at index 3 to ring buffer withend index of 3.");

    // A tail past the end has no slot before it: pop answers nothing rather than reading outside.
    RingBuffer<Item> far({Item{1}, Item{2}}, 7);
    EXPECT_FALSE(far.pop());
    EXPECT_EQ(far.tailIndex(), 7);
    // A negative tail wraps to the last slot.
    RingBuffer<Item> negative({Item{1}, Item{2}}, -1);
    EXPECT_EQ(negative.pop()->value, 2);
}

TEST(RingBuffer, CodedFormKeepsSlotsAndTail) {
    RingBuffer<Item> ring(3);
    ring.push(Item{7});
    EXPECT_EQ(ring.encode(), json(R"({"circularQueue":[7,null,null],"tailIndex":1})"));
    EXPECT_EQ(RingBuffer<Item>::decode(ring.encode()), ring);
    EXPECT_THROW(RingBuffer<Item>::decode(json(R"({"circularQueue":[]})")), CodingError);
    EXPECT_THROW(RingBuffer<Item>::decode(json(R"({"tailIndex":0})")), CodingError);
}
