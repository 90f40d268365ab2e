// The network facts a session event reports. This platform reports none: the network type is
// unknown (-1) and the mobile subtype empty.
#pragma once

#include "utilities/TULNetworkInfo.h"

#include <cstdint>
#include <string>

class NetworkInfoProtocol {
public:
    virtual ~NetworkInfoProtocol() = default;
    virtual int64_t networkType() const = 0;
    virtual std::string mobileSubtype() const = 0;
};

class NetworkInfo : public NetworkInfoProtocol {
public:
    int64_t networkType() const override { return TULNetworkInfo::getNetworkType(); }
    std::string mobileSubtype() const override { return TULNetworkInfo::getNetworkRadioType(); }
};
