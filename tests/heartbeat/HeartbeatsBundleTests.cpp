#include "heartbeat/HeartbeatsBundle.h"
#include "platform/foundation/JSONSerialization.h"
#include "tests/heartbeat/HeartbeatTestDates.h"

#include <gtest/gtest.h>

using namespace heartbeat;

namespace {

const plat::Date D1 = utcDate(2026, 1, 1), D2 = utcDate(2026, 1, 2), D3 = utcDate(2026, 1, 3);

plat::Date daily(const HeartbeatsBundle& b) {
    return b.lastAddedHeartbeatDates.at(TimePeriod::daily);
}

std::vector<std::string> agents(const HeartbeatsBundle& b) {
    std::vector<std::string> out;
    for (const auto& h : b.buffer.elements())
        out.push_back(h.agent);
    return out;
}

// Oldest first: the slots from the tail onwards, wrapping.
std::vector<std::string> ageOrder(const HeartbeatsBundle& b) {
    std::vector<std::string> out;
    const auto& slots = b.buffer.circularQueue();
    for (size_t i = 0; i < slots.size(); ++i)
        if (const auto& slot = slots[(size_t(b.buffer.tailIndex()) + i) % slots.size()])
            out.push_back(slot->agent);
    return out;
}

} // namespace

TEST(HeartbeatsBundle, NewBundleIsEmptyWithDailyInTheDistantPast) {
    HeartbeatsBundle bundle(30);
    EXPECT_EQ(bundle.buffer.slotCount(), 30);
    EXPECT_TRUE(bundle.buffer.elements().empty());
    ASSERT_EQ(bundle.lastAddedHeartbeatDates.size(), 1u);
    EXPECT_EQ(daily(bundle), HeartbeatsBundle::distantPast());
    EXPECT_EQ(HeartbeatsBundle::distantPast().timeIntervalSinceReferenceDate(), -63114076800.0);
}

TEST(HeartbeatsBundle, AppendTracksLastDatesAcrossOverwrites) {
    HeartbeatsBundle zero(0);
    zero.append(Heartbeat("a", D1, {TimePeriod::daily}));
    EXPECT_TRUE(zero.makeHeartbeatsPayload().isEmpty());
    EXPECT_EQ(daily(zero), HeartbeatsBundle::distantPast());

    HeartbeatsBundle plain(30);
    plain.append(Heartbeat("a", D1, {TimePeriod::daily}));
    plain.append(Heartbeat("b", D2, {}));
    EXPECT_EQ(daily(plain), D1);
    EXPECT_EQ(agents(plain), (std::vector<std::string>{"a", "b"}));

    // Overwriting the heartbeat that set an entry returns the entry to the distant past.
    HeartbeatsBundle one(1);
    one.append(Heartbeat("h1", D1, {TimePeriod::daily}));
    one.append(Heartbeat("h2", D2, {}));
    EXPECT_EQ(daily(one), HeartbeatsBundle::distantPast());
    one.append(Heartbeat("h3", D3, {TimePeriod::daily}));
    EXPECT_EQ(daily(one), D3);

    HeartbeatsBundle two(2);
    two.append(Heartbeat("h1", D1, {}));
    two.append(Heartbeat("h2", D2, {TimePeriod::daily}));
    two.append(Heartbeat("h3", D3, {}));
    EXPECT_EQ(daily(two), D2);
}

TEST(HeartbeatsBundle, CorruptStoredTailRebuildsWithADiagnosticHeartbeat) {
    for (int64_t tail : {int64_t(30), int64_t(-1)}) {
        HeartbeatsBundle stored(30);
        stored.append(Heartbeat("old", D1, {TimePeriod::daily}));
        plat::Object coded = stored.encode();
        plat::Object::Dict dict = coded.dict();
        plat::Object::Dict buffer = dict["buffer"].dict();
        buffer["tailIndex"] = plat::Object(tail);
        dict["buffer"] = plat::Object(buffer);
        HeartbeatsBundle bundle = HeartbeatsBundle::decode(plat::Object(dict));

        bundle.append(Heartbeat("agent/1 x", D2, {TimePeriod::daily}));
        auto kept = bundle.buffer.elements();
        ASSERT_EQ(kept.size(), 1u) << tail;
        EXPECT_EQ(kept[0].agent, "agent/1 x error/Out-of-bounds-push-at-index-" + std::to_string(tail) +
                                     "-to-ring-buffer-withend-index-of-30.");
        EXPECT_EQ(kept[0].date, D2);
        EXPECT_EQ(daily(bundle), D2);
        EXPECT_EQ(bundle.buffer.tailIndex(), 1);
    }
}

TEST(HeartbeatsBundle, RemoveTakesTheNewestOfADateAndKeepsRingOrder) {
    HeartbeatsBundle bundle(5);
    bundle.append(Heartbeat("a", D1, {}));
    bundle.append(Heartbeat("b", D2, {}));
    bundle.append(Heartbeat("c", D2, {}));
    bundle.append(Heartbeat("d", D3, {}));
    auto before = bundle.lastAddedHeartbeatDates;

    EXPECT_FALSE(bundle.removeHeartbeat(utcDate(2030, 1, 1)));
    // The heartbeats go back in their order, though the slots they sit in move on.
    EXPECT_EQ(ageOrder(bundle), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(agents(bundle), (std::vector<std::string>{"b", "c", "d", "a"}));

    auto removed = bundle.removeHeartbeat(D2);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->agent, "c");
    EXPECT_EQ(ageOrder(bundle), (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_EQ(bundle.lastAddedHeartbeatDates, before);
    // The ring still appends after the newest.
    bundle.append(Heartbeat("e", D3, {}));
    EXPECT_EQ(ageOrder(bundle), (std::vector<std::string>{"a", "b", "d", "e"}));
}

TEST(HeartbeatsBundle, PayloadGroupsBySortedAgentInSlotOrder) {
    HeartbeatsBundle bundle(3);
    bundle.append(Heartbeat("beta", D1, {}));
    bundle.append(Heartbeat("alpha", D2, {}));
    bundle.append(Heartbeat("beta", D3, {}));
    HeartbeatsPayload payload = bundle.makeHeartbeatsPayload();
    EXPECT_EQ(payload, HeartbeatsPayload({{"alpha", {D2}}, {"beta", {D1, D3}}}, 2));

    // After a wrap the dates follow the slots, not the calendar.
    bundle.append(Heartbeat("beta", utcDate(2026, 1, 4), {}));
    EXPECT_EQ(bundle.makeHeartbeatsPayload(),
              HeartbeatsPayload({{"alpha", {D2}}, {"beta", {utcDate(2026, 1, 4), D3}}}, 2));
}

TEST(HeartbeatsBundle, CodedFormMatchesTheStoredLayout) {
    HeartbeatsBundle bundle(30);
    bundle.append(Heartbeat("A", D1, {TimePeriod::daily}));
    plat::Object coded = bundle.encode();
    EXPECT_EQ(coded["capacity"], plat::Object(30));
    EXPECT_EQ(coded["lastAddedHeartbeatDates"].array().size(), 2u);
    EXPECT_EQ(coded["lastAddedHeartbeatDates"].at(0), plat::Object(1));
    EXPECT_EQ(coded["lastAddedHeartbeatDates"].at(1).number().doubleValue(),
              D1.timeIntervalSinceReferenceDate());
    const auto& slots = coded["buffer"]["circularQueue"].array();
    ASSERT_EQ(slots.size(), 30u);
    EXPECT_EQ(slots[0]["agent"], plat::Object("A"));
    EXPECT_TRUE(slots[29].isNull());
    EXPECT_EQ(coded["buffer"]["tailIndex"], plat::Object(1));

    auto text = plat::JSONSerialization::data(coded);
    ASSERT_TRUE(text);
    EXPECT_EQ(HeartbeatsBundle::decode(plat::JSONSerialization::jsonObject(*text)), bundle);
}

TEST(HeartbeatsBundle, DecodingRejectsDamagedForms) {
    const char* bad[] = {
        R"({"capacity":30,"lastAddedHeartbeatDates":[1],"buffer":{"circularQueue":[],"tailIndex":0}})",
        R"({"capacity":30,"lastAddedHeartbeatDates":[2,0],"buffer":{"circularQueue":[],"tailIndex":0}})",
        R"({"capacity":30,"lastAddedHeartbeatDates":[],"buffer":{"circularQueue":[]}})",
        R"({"lastAddedHeartbeatDates":[],"buffer":{"circularQueue":[],"tailIndex":0}})",
        R"({"capacity":1e12,"lastAddedHeartbeatDates":[],"buffer":{"circularQueue":[],"tailIndex":0}})",
    };
    for (const char* text : bad)
        EXPECT_THROW(HeartbeatsBundle::decode(plat::JSONSerialization::jsonObject(text)), CodingError)
            << text;
}
