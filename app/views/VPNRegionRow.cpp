#include "app/views/VPNRegionRow.h"

#include "platform/foundation/Text.h"

using namespace plat::ui;

std::string VPNRegionRow::flagImageName(const std::string& countryCode) {
    return plat::text::lowercased(countryCode);
}

AnyView VPNRegionRow::body() const {
    // A missing image leaves its frame empty; the texts keep their place.
    AnyView flag = Image(flagImageName(region.country_code))
                       .resizable()
                       .scaledToFit()
                       .frame(50, 50, Alignment::leading());
    return VStack(HAlign::Center,
                  {HStack(VAlign::Center,
                          {flag, Divider(), VerbatimText(region.country_name).fontWeight(FontWeight::Bold),
                           VerbatimText(region.city).fontWeight(FontWeight::Light)})});
}
