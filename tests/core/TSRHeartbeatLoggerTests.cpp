#include "core/TSRException.h"
#include "core/TSRHeartbeatLogger.h"
#include "core/TSRTimestamp.h"
#include "heartbeat/HeartbeatController.h"
#include "tests/core/CoreTestSupport.h"

#include <atomic>
#include <cmath>
#include <future>

using namespace coretest;

namespace {

class TSRHeartbeatLoggerTest : public CoreTest {};

} // namespace

TEST_F(TSRHeartbeatLoggerTest, LogsUnderTheProvidedAgentAndFlushes) {
    std::atomic<int> asked{0};
    TSRHeartbeatLogger logger("1:5:ios:ab", [&] {
        ++asked;
        return std::string("agent/1");
    });
    EXPECT_EQ(logger.headerValue(), std::nullopt);
    logger.log();
    EXPECT_EQ(asked.load(), 1);
    EXPECT_EQ(logger.heartbeatCodeForToday(), TSRDailyHeartbeatCodeSome);
    EXPECT_EQ(logger.heartbeatCodeForToday(), TSRDailyHeartbeatCodeNone);

    // A second day would be needed for another heartbeat; a fresh app id starts over.
    TSRHeartbeatLogger other("1:6:ios:ab", [] { return std::string("agent/2"); });
    other.log();
    std::promise<std::optional<std::string>> header;
    other.asyncHeaderValueWithCompletionHandler(
        [&](std::optional<std::string> value) { header.set_value(value); });
    const std::optional<std::string> value = header.get_future().get();
    ASSERT_TRUE(value);
    EXPECT_FALSE(value->empty());
    EXPECT_EQ(value->find('='), std::string::npos); // base64url without padding
    EXPECT_EQ(other.headerValue(), std::nullopt);
}

TEST_F(TSRHeartbeatLoggerTest, TimestampConstructionAndText) {
    TSRTimestamp negative = TSRTimestamp::timestampWithDate(plat::Date{-1.5});
    EXPECT_EQ(negative.seconds(), -2);
    EXPECT_EQ(negative.nanoseconds(), 500000000);
    EXPECT_EQ(TSRTimestamp(0, 5).ISO8601String(), "1970-01-01T00:00:00.000000005Z");
    EXPECT_EQ(TSRTimestamp(-62135596800, 0).ISO8601String(), "0001-01-01T00:00:00.000000000Z");
    EXPECT_EQ(TSRTimestamp(253402300799, 999999999).ISO8601String(), "9999-12-31T23:59:59.999999999Z");
    EXPECT_EQ(TSRTimestamp(951782400, 0).ISO8601String(), "2000-02-29T00:00:00.000000000Z");
    EXPECT_EQ(TSRTimestamp(1, 2).description(), "<TSRTimestamp: seconds=1 nanoseconds=2>");
    EXPECT_EQ(TSRTimestamp(1, 2).compare(TSRTimestamp(1, 3)), -1);
    EXPECT_EQ(TSRTimestamp(2, 0).compare(TSRTimestamp(1, 999)), 1);
    EXPECT_EQ(TSRTimestamp(1, 2), TSRTimestamp::timestampWithSeconds(1, 2));

    struct Bad {
        int64_t seconds;
        int32_t nanoseconds;
        const char* reason;
    } bad[] = {
        {253402300800, 0, "Timestamp seconds out of range: 253402300800"},
        {-62135596801, 0, "Timestamp seconds out of range: -62135596801"},
        {0, 1000000000, "Timestamp nanoseconds out of range: 1000000000"},
        {0, -1, "Timestamp nanoseconds out of range: -1"},
    };
    for (const auto& b : bad) {
        try {
            TSRTimestamp(b.seconds, b.nanoseconds);
            ADD_FAILURE() << b.reason;
        } catch (const TSRException& e) {
            EXPECT_EQ(e.name(), "Invalid timestamp");
            EXPECT_EQ(e.reason(), b.reason);
        }
    }
    // Dates far outside the range, or not numbers at all, raise instead of overflowing.
    EXPECT_THROW(TSRTimestamp::timestampWithDate(plat::Date{1e300}), TSRException);
    EXPECT_THROW(TSRTimestamp::timestampWithDate(plat::Date{std::nan("")}), TSRException);
    // A fraction that rounds up to a whole second carries into the seconds.
    TSRTimestamp carried = TSRTimestamp::timestampWithDate(plat::Date{-1e-17});
    EXPECT_EQ(carried.nanoseconds(), 0);
    EXPECT_EQ(carried.seconds(), 0);
}
