// Network facts that this platform does not report; the answers are fixed.
#pragma once

#include <cstdint>
#include <string>

class TULNetworkInfo {
public:
    static int64_t getNetworkType() { return -1; }
    static std::string getNetworkRadioType() { return {}; }
};
