// The user's tunnel protocol choice, stored in the settings by its raw text. Only IKEv2 tunnels are
// built; the other choices are kept for the settings screen.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class VPNProtocol { Optimal, IKEv2, OpenVPNudp, OpenVPNtcp, Wireguard };

// The stored text of a choice ("Optimal", "IPSecIKEv2", "OpenVPN® UDP", "OpenVPN® TCP", "Wireguard®").
const std::string& rawValue(VPNProtocol protocol);
// The choice whose text is exactly `raw` (case-sensitive); none for any other text.
std::optional<VPNProtocol> VPNProtocolFromRawValue(std::string_view raw);
