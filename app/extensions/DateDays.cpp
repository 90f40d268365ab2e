#include "app/extensions/DateDays.h"

#include <cmath>
#include <ctime>

namespace {

// Days since 1970-01-01 of the local calendar date that holds `date`.
int64_t localDayNumber(plat::Date date) {
    std::time_t seconds = static_cast<std::time_t>(std::floor(date.secondsSince1970));
    std::tm local{};
    localtime_r(&seconds, &local);
    // Civil date to day number (proleptic Gregorian calendar).
    int64_t year = local.tm_year + 1900;
    const int64_t month = local.tm_mon + 1;
    const int64_t day = local.tm_mday;
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

namespace extensions {

int64_t daysBetween(plat::Date start, plat::Date end) {
    return localDayNumber(end) - localDayNumber(start);
}

} // namespace extensions
