// How the settings sources read one value: a switch only from a boolean, a rate or a duration only
// from a number that is not a boolean. Anything else (text, null, containers) decides nothing.
#pragma once

#include "platform/object/Object.h"

#include <optional>

inline std::optional<bool> TSRSessionsBoolSetting(const plat::Object& value) {
    const plat::Number* number = value.asNumber();
    if (!number || !number->isBool()) return std::nullopt;
    return number->boolValue();
}

inline std::optional<double> TSRSessionsNumberSetting(const plat::Object& value) {
    const plat::Number* number = value.asNumber();
    if (!number || number->isBool()) return std::nullopt;
    return number->doubleValue();
}
