#include "app/classes/VPNProtocol.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<VPNProtocol, std::string>, 5>& table() {
    static const auto& entries = *new std::array<std::pair<VPNProtocol, std::string>, 5>{{
        {VPNProtocol::Optimal, "Optimal"},
        {VPNProtocol::IKEv2, "IPSecIKEv2"},
        {VPNProtocol::OpenVPNudp, "OpenVPN\u00AE UDP"},
        {VPNProtocol::OpenVPNtcp, "OpenVPN\u00AE TCP"},
        {VPNProtocol::Wireguard, "Wireguard\u00AE"},
    }};
    return entries;
}

} // namespace

const std::string& rawValue(VPNProtocol protocol) {
    for (const auto& [value, text] : table())
        if (value == protocol) return text;
    return table().front().second;
}

std::optional<VPNProtocol> VPNProtocolFromRawValue(std::string_view raw) {
    for (const auto& [value, text] : table())
        if (text == raw) return value;
    return std::nullopt;
}
