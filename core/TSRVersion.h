// The version of the app core, which heads every log line and goes into requests and reports.
#pragma once

#include <string>

inline std::string TSRVersion() {
    return "3.2.0";
}
