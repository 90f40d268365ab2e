#include "platform/net/NetworkPathMonitor.h"

#include "platform/log/OSLog.h"

#include <cstdlib>
#include <cstring>

namespace plat {

std::shared_ptr<NetworkPathMonitor> NetworkPathMonitor::processDefault() {
    static auto* instance =
        new std::shared_ptr<NetworkPathMonitor>([]() -> std::shared_ptr<NetworkPathMonitor> {
            const char* fixed = std::getenv(kNetworkReachabilityVariable);
            if (!fixed || (std::strcmp(fixed, "reachable") != 0 && std::strcmp(fixed, "unreachable") != 0))
                return KernelNetworkPathMonitor::shared();
            OSLog("com.velmora.platform", "reachability")
                .info(std::string("The network is taken as ") + fixed + " ($" + kNetworkReachabilityVariable +
                      ").");
            return std::make_shared<ManualNetworkPathMonitor>(
                std::strcmp(fixed, "reachable") == 0 ? kReachabilityFlagsReachable : 0u);
        }());
    return *instance;
}

} // namespace plat
