// Strict decoding of region records: required kinds, the optional distance, ignored extra keys,
// and one bad record failing the whole list.
#include "app/network/VPNRegion.h"
#include "platform/foundation/Coding.h"
#include "tests/app/regions/RegionTestSupport.h"
#include "json/JSON.h"
#include "json/JSONError.h"

#include <gtest/gtest.h>

using regiontest::recordText;
using regiontest::Sample;

namespace {

VPNRegion decodeOne(const std::string& record) {
    return VPNRegion::decodeList("[" + record + "]").at(0);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

plat::DecodingError decodeError(const std::string& listText) {
    try {
        VPNRegion::decodeList(listText);
    } catch (const plat::DecodingError& e) {
        return e;
    }
    ADD_FAILURE() << "decoded: " << listText;
    return plat::DecodingError::dataCorrupted({});
}

TEST(VPNRegionTest, DecodesEveryFieldFromItsOwnKey) {
    VPNRegion r = decodeOne(recordText(Sample{42, "Spain", true, 900, 40}));
    EXPECT_EQ(r.id, 42);
    EXPECT_FALSE(r.is_streaming);
    EXPECT_TRUE(r.is_alive);
    EXPECT_TRUE(r.is_p2p);
    EXPECT_EQ(r.server_domain, "r42.vpn.example");
    EXPECT_EQ(r.country_code, "ES");
    EXPECT_EQ(r.ip, "192.0.2.1");
    EXPECT_EQ(r.load_percentage, 40);
    EXPECT_EQ(r.country_name, "Spain");
    EXPECT_EQ(r.distance, 900);
    EXPECT_TRUE(r.is_nearest);
    EXPECT_FLOAT_EQ(r.location.latitude, 40.4f);
    EXPECT_FLOAT_EQ(r.location.longitude, -3.7f);
    EXPECT_EQ(r.short_name, "ES");
    EXPECT_EQ(r.continent, "Europe");
    EXPECT_STREQ(VPNRegion::stringValue(VPNRegion::CodingKeys::load_percentage), "load_percentage");
}

TEST(VPNRegionTest, DistanceIsOptionalButTyped) {
    Sample s;
    s.distance.reset();
    EXPECT_FALSE(decodeOne(recordText(s)).distance) << "key missing";
    EXPECT_FALSE(decodeOne(recordText(s, "null")).distance) << "null";
    EXPECT_EQ(decodeOne(recordText(s, "9223372036854775807")).distance, INT64_MAX);
    EXPECT_EQ(decodeError("[" + recordText(s, "\"far\"") + "]").kind(),
              plat::DecodingError::Case::typeMismatch);
    EXPECT_EQ(decodeError("[" + recordText(s, "1.5") + "]").kind(), plat::DecodingError::Case::dataCorrupted);
}

TEST(VPNRegionTest, RequiredFieldsTakeOnlyTheirExactKind) {
    std::string good = recordText(Sample{});
    auto kindOf = [](const std::string& record) { return decodeError("[" + record + "]").kind(); };
    using Case = plat::DecodingError::Case;
    EXPECT_EQ(kindOf(replaced(good, "\"is_free\":false", "\"is_free\":1")), Case::typeMismatch);
    EXPECT_EQ(kindOf(replaced(good, "\"load_percentage\":10", "\"load_percentage\":12.5")),
              Case::dataCorrupted);
    EXPECT_EQ(kindOf(replaced(good, "\"id\":1,", "\"id\":true,")), Case::typeMismatch);
    EXPECT_EQ(kindOf(replaced(good, "\"city\":\"City\",", "")), Case::keyNotFound);
    EXPECT_EQ(kindOf(replaced(good, "\"city\":\"City\"", "\"city\":null")), Case::valueNotFound);
    EXPECT_EQ(kindOf(replaced(good, "\"latitude\":40.4", "\"latitude\":1e300")), Case::dataCorrupted);
    EXPECT_EQ(
        kindOf(replaced(good, "\"location\":{\"latitude\":40.4,\"longitude\":-3.7}", "\"location\":[1,2]")),
        Case::typeMismatch);

    plat::DecodingError missing =
        decodeError("[" + good + "," + replaced(good, ",\"longitude\":-3.7", "") + "]");
    ASSERT_TRUE(missing.key());
    EXPECT_EQ(missing.key()->stringValue, "longitude");
    EXPECT_EQ(plat::describeCodingPath(missing.context().codingPath), "Index 1.location")
        << "the path leads to the failing field";
}

TEST(VPNRegionTest, LenientWhereTheDecoderIs) {
    std::string good = recordText(Sample{});
    VPNRegion r = decodeOne(replaced(good, "\"latitude\":40.4", "\"latitude\":52"));
    EXPECT_EQ(r.location.latitude, 52.0f);
    EXPECT_NO_THROW(decodeOne(replaced(good, "{\"id\"", "{\"region_name\":\"Spain - City\",\"id\"")));
    EXPECT_TRUE(VPNRegion::decodeList(std::string("[]")).empty());
}

TEST(VPNRegionTest, OneBadRecordOrANonListFailsTheWholeReply) {
    std::string good = recordText(Sample{});
    std::string bad = replaced(good, "\"is_free\":false", "\"is_free\":\"no\"");
    EXPECT_EQ(decodeError("[" + good + "," + bad + "," + good + "]").context().codingPath.size(), 2u);
    EXPECT_EQ(decodeError("{\"message\":\"Not Found\"}").kind(), plat::DecodingError::Case::typeMismatch);

    // Through the JSON value the controller holds, written back as text first.
    JSON reply(plat::toData("[" + good + "]"), 0);
    EXPECT_EQ(VPNRegion::decodeList(reply).size(), 1u);
    JSON object(plat::toData("{\"code\":\"E0001\"}"), 0);
    EXPECT_THROW(VPNRegion::decodeList(object), plat::DecodingError);
    EXPECT_THROW(VPNRegion::decodeList(JSON(5)), JSONException) << "a value the writer refuses";
}

} // namespace
