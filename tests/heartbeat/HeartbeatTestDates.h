// Dates for the heartbeat tests, built from UTC calendar fields.
#pragma once

#include "platform/object/Object.h"

#include <ctime>

inline plat::Date utcDate(int year, int month, int day, int hour = 0, int minute = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return plat::Date{static_cast<double>(timegm(&t))};
}
