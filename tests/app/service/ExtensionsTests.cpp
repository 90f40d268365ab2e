#include "app/extensions/DateDays.h"
#include "app/extensions/DoubleRounding.h"
#include "app/extensions/UserDefaultsKey.h"
#include "tests/app/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// Runs the test in a fixed time zone with a daylight-saving change, restoring the old one after.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

// Local wall-clock time as a Date.
plat::Date local(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return plat::Date{double(std::mktime(&tm))};
}

} // namespace

TEST(Extensions, DaysBetweenCountsDayBoundaries) {
    TimeZone zone("Europe/Berlin");
    using extensions::daysBetween;
    plat::Date evening = local(2024, 3, 5, 23, 59);
    plat::Date morning = local(2024, 3, 6, 0, 1);
    EXPECT_EQ(daysBetween(evening, evening), 0);
    EXPECT_EQ(daysBetween(evening, morning), 1);
    EXPECT_EQ(daysBetween(morning, evening), -1);
    EXPECT_EQ(daysBetween(local(2024, 3, 6, 0, 0), local(2024, 3, 6, 23, 59)), 0);
    // 31 March 2024 has 23 hours in this zone; it still counts as one day.
    EXPECT_EQ(daysBetween(local(2024, 3, 30, 12, 0), local(2024, 4, 1, 11, 0)), 2);
    EXPECT_EQ(daysBetween(local(2023, 12, 31, 12, 0), local(2024, 12, 31, 12, 0)), 366);
}

TEST(Extensions, RoundedHalvesAwayFromZeroOnTheBinaryValue) {
    using extensions::rounded;
    EXPECT_EQ(rounded(2.5, 0), 3.0);
    EXPECT_EQ(rounded(-2.5, 0), -3.0);
    EXPECT_EQ(rounded(3.14159, 2), 3.14);
    EXPECT_EQ(rounded(15.0, -1), 20.0);
    EXPECT_EQ(rounded(1.005, 2), 1.0);
}

TEST(Extensions, UserDefaultsKeysReadAndWriteUnderTheirRawValues) {
    servicetest::ServiceEnvironment env;
    using namespace extensions;
    auto& defaults = plat::UserDefaults::standard();
    EXPECT_EQ(UserDefaultsKeyFromRawValue("reviewWorthyActionCount"),
              UserDefaultsKey::reviewWorthyActionCount);
    EXPECT_EQ(UserDefaultsKeyFromRawValue("ReviewWorthyActionCount"), std::nullopt);

    EXPECT_EQ(integer(defaults, UserDefaultsKey::reviewWorthyActionCount), 0);
    set(defaults, int64_t{3}, UserDefaultsKey::reviewWorthyActionCount);
    EXPECT_EQ(defaults.integer("reviewWorthyActionCount"), 3);

    set(defaults, plat::Object("1.2.0"), UserDefaultsKey::lastReviewRequestAppVersion);
    EXPECT_EQ(extensions::string(defaults, UserDefaultsKey::lastReviewRequestAppVersion), "1.2.0");
    set(defaults, std::optional<plat::Object>{}, UserDefaultsKey::lastReviewRequestAppVersion);
    EXPECT_EQ(extensions::string(defaults, UserDefaultsKey::lastReviewRequestAppVersion), std::nullopt);
    EXPECT_TRUE(defaults.object("lastReviewRequestAppVersion").isAbsent());
}
