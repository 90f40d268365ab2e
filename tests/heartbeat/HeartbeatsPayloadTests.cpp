#include "heartbeat/CodingError.h"
#include "heartbeat/HeaderDataCoding.h"
#include "heartbeat/HeartbeatsPayload.h"
#include "platform/foundation/JSONSerialization.h"
#include "tests/heartbeat/HeartbeatTestDates.h"
#include "utilities/TULGzip.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace heartbeat;

namespace {

// header value -> base64url -> gunzip -> parsed JSON, through this library's own inverses.
plat::Object decodeHeader(const std::string& header) {
    auto compressed = dataFromBase64URLEncoded(header);
    if (!compressed) return {};
    auto json = unzipped(*compressed);
    if (!json) return {};
    return plat::JSONSerialization::jsonObject(plat::toString(*json));
}

} // namespace

TEST(HeartbeatsPayload, HeaderDataInflatesOnlyToASmallSize) {
    for (size_t size : {kMaxUnzippedLength, kMaxUnzippedLength + 1}) {
        plat::Data json(size, ' ');
        auto compressed = zipped(json);
        ASSERT_TRUE(compressed);
        plat::Error error;
        auto back = unzipped(*compressed, &error);
        EXPECT_EQ(back.has_value(), size == kMaxUnzippedLength) << size;
        if (!back) {
            EXPECT_EQ(error.code, TULNSDataZlibErrorOutputLimitExceeded);
        }
    }
}

TEST(HeartbeatsPayload, EmptyPayloadHeaderIsTheEmptyJSON) {
    const HeartbeatsPayload& empty = HeartbeatsPayload::emptyPayload();
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.version, 2);
    EXPECT_EQ(decodeHeader(empty.headerValue()),
              plat::JSONSerialization::jsonObject(R"({"heartbeats":[],"version":2})"));
    EXPECT_FALSE(HeartbeatsPayload({{"a", {}}}, 0).isEmpty());
}

TEST(HeartbeatsPayload, HeaderCarriesCalendarDaysInUTCWhateverTheLocalZone) {
    const char* oldTZ = std::getenv("TZ");
    std::string saved = oldTZ ? oldTZ : "";
    setenv("TZ", "Pacific/Kiritimati", 1); // UTC+14: a local day that differs from the UTC one
    tzset();
    HeartbeatsPayload payload(
        {{"agent/1.0 os/linux",
          {utcDate(2026, 12, 5, 23, 59), utcDate(2026, 12, 6, 0, 0), utcDate(2026, 12, 6, 3, 0)}}},
        2);
    std::string header = payload.headerValue();
    if (oldTZ)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    EXPECT_EQ(header.find_first_of("+/="), std::string::npos);
    plat::Object json = decodeHeader(header);
    EXPECT_EQ(
        json,
        plat::JSONSerialization::jsonObject(
            R"({"heartbeats":[{"agent":"agent/1.0 os/linux","dates":["2026-12-05","2026-12-06","2026-12-06"]}],"version":2})"));
}

TEST(HeartbeatsPayload, CodedFormRoundTripsAndRequiresEveryKey) {
    HeartbeatsPayload payload({{"b", {utcDate(2026, 1, 1)}}, {"a", {}}}, 2);
    EXPECT_EQ(HeartbeatsPayload::decode(payload.encode()), payload);
    EXPECT_THROW(HeartbeatsPayload::decode(plat::JSONSerialization::jsonObject(R"({"heartbeats":[]})")),
                 CodingError);
    EXPECT_THROW(HeartbeatsPayload::decode(
                     plat::JSONSerialization::jsonObject(R"({"heartbeats":[{"agent":"a"}],"version":2})")),
                 CodingError);
}

TEST(HeartbeatsPayload, DateFormatting) {
    EXPECT_EQ(HeartbeatsPayload::formatDate(plat::Date{0}), "1970-01-01");
    EXPECT_EQ(HeartbeatsPayload::formatDate(plat::Date{-1}), "1969-12-31");
    EXPECT_EQ(HeartbeatsPayload::formatDate(utcDate(2024, 2, 29, 12)), "2024-02-29");
    EXPECT_EQ(HeartbeatsPayload::formatDate(plat::Date::fromReferenceDate(0)), "2001-01-01");
}

TEST(HeaderDataCoding, Base64URLInverseAcceptsOnlyItsAlphabet) {
    plat::Data bytes{0xfb, 0xff, 0xfe, 0x00, 0x01};
    std::string text = base64URLEncodedString(bytes);
    EXPECT_EQ(text, "-__-AAE");
    EXPECT_EQ(dataFromBase64URLEncoded(text), bytes);
    EXPECT_EQ(dataFromBase64URLEncoded("YWI"), plat::toData("ab")); // remainder 3
    EXPECT_EQ(dataFromBase64URLEncoded("YQ"), plat::toData("a"));   // remainder 2
    EXPECT_FALSE(dataFromBase64URLEncoded("YWJjZ"));                // remainder 1
    EXPECT_FALSE(dataFromBase64URLEncoded("YW+j"));                 // outside the alphabet
    EXPECT_FALSE(zipped(plat::Data{}));
}
