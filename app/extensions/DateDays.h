// Whole calendar days between two moments in the user's local time zone: day boundaries crossed,
// not 24-hour periods, so 23:59 to 00:01 the next day is 1 and a daylight-saving day still counts
// as one. Negative when `end` is before `start`.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>

namespace extensions {

int64_t daysBetween(plat::Date start, plat::Date end);

} // namespace extensions
