// One row of the region list: the region's flag, its country name in bold and its city in light
// weight. Shows nothing else about the region (no load, streaming or free markers).
//
// Main thread only.
#pragma once

#include "app/network/VPNRegion.h"
#include "platform/ui/Toolkit.h"

#include <string>

class VPNRegionRow : public plat::ui::Screen {
public:
    explicit VPNRegionRow(VPNRegion region) : region(std::move(region)) {}
    plat::ui::AnyView body() const override;

    // The bundle image of a country code: the code in lower case ("ES" shows "es").
    static std::string flagImageName(const std::string& countryCode);

    VPNRegion region;
};
