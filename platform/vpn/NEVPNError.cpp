#include "platform/vpn/NEVPNError.h"

namespace plat {

Error makeNEVPNError(NEVPNError code) {
    const char* message = "The VPN configuration could not be used.";
    switch (code) {
    case NEVPNError::configurationInvalid:
        message = "The VPN configuration is invalid.";
        break;
    case NEVPNError::configurationDisabled:
        message = "The VPN configuration is disabled.";
        break;
    case NEVPNError::connectionFailed:
        message = "The VPN connection failed.";
        break;
    case NEVPNError::configurationStale:
        message = "The VPN configuration was changed elsewhere; load it again before saving.";
        break;
    case NEVPNError::configurationReadWriteFailed:
        message = "The VPN configuration could not be read or written.";
        break;
    case NEVPNError::configurationUnknown:
        break;
    }
    return Error::withMessage(NEVPNErrorDomain, static_cast<int64_t>(code), message);
}

} // namespace plat
