// Reachability flags: the kernel's route tables, the handle's change delivery and the transport's
// view of them.
#include "TransportTestSupport.h"

#include "transport/TTRPlatform.h"
#include "transport/TTRReachability.h"

#include "platform/net/NetworkReachability.h"

namespace {

std::optional<unsigned> links(const std::string& name) {
    if (name == "eth0") return 0x1043u;  // up, running
    if (name == "wlan0") return 0x1003u; // up, not running
    return std::nullopt;
}

const char* kIPv4Header =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(KernelRoutes, ADefaultRouteOverALiveInterfaceIsReachable) {
    using M = plat::KernelNetworkPathMonitor;
    std::string v4 =
        std::string(kIPv4Header) + "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
    EXPECT_EQ(M::flagsFromRouteTables(v4, "", links), plat::kReachabilityFlagsReachable);
    // A subnet route alone, a default route over a link that is not running, or a rejected route: none.
    std::string subnet =
        std::string(kIPv4Header) + "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    EXPECT_EQ(M::flagsFromRouteTables(subnet, "", links), 0u);
    std::string down =
        std::string(kIPv4Header) + "wlan0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
    EXPECT_EQ(M::flagsFromRouteTables(down, "", links), 0u);
    std::string v6 = "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                     "fd000000000000000000000000000001 "
                     "00000400 00000002 00000000 00000003     eth0\n";
    EXPECT_EQ(M::flagsFromRouteTables("", v6, links), plat::kReachabilityFlagsReachable);
    std::string v6Reject = "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                           "00000000000000000000000000000000 "
                           "ffffffff 00000001 00000000 00200200       lo\n";
    EXPECT_EQ(M::flagsFromRouteTables("", v6Reject, links), 0u);
    EXPECT_EQ(M::flagsFromRouteTables("garbage\n\t\t\nzz 0 0 0 0 0 0 0\n", "x y", links), 0u);
}

TEST(TTRReachability, FlagsFollowTheStartUpReadThenEveryChangeIncludingLoss) {
    EXPECT_TRUE(TTRReachabilityFlagsReachable(0x2));
    EXPECT_FALSE(TTRReachabilityFlagsReachable(0x6));
    EXPECT_FALSE(TTRReachabilityFlagsReachable(0));
    EXPECT_FALSE(TTRReachabilityFlagsContainWWAN(0xFFFFFFFF));

    auto monitor = std::make_shared<plat::ManualNetworkPathMonitor>(0x6u);
    TTRReachability reachability(monitor);
    EXPECT_EQ(reachability.flags(), 0x6u);
    monitor->setFlags(0x2u);
    EXPECT_EQ(reachability.flags(), 0x2u);
    // Losing the network is reported as such, not as the flags of the start.
    monitor->setFlags(0u);
    EXPECT_EQ(reachability.flags(), 0u);

    auto unknown = std::make_shared<plat::ManualNetworkPathMonitor>(std::nullopt);
    TTRReachability unreadable(unknown);
    EXPECT_EQ(unreadable.flags(), 0u);
}

TEST(NetworkReachability, DeliversOnlyRealChangesOnItsQueue) {
    auto monitor = std::make_shared<plat::ManualNetworkPathMonitor>(0x2u);
    auto handle = plat::NetworkReachability::createWithZeroAddress(monitor);
    plat::DispatchQueue queue = plat::DispatchQueue::serial("test.reachability");
    std::vector<uint32_t> seen;
    handle->setCallback([&](uint32_t flags) {
        EXPECT_TRUE(queue.isCurrent());
        seen.push_back(flags);
    });
    monitor->setFlags(0x6u); // no queue yet: nothing delivered
    handle->setDispatchQueue(queue);
    monitor->setFlags(0x6u); // unchanged since listening began
    monitor->setFlags(0x2u);
    monitor->setFlags(0u);
    queue.sync([] {});
    EXPECT_EQ(seen, (std::vector<uint32_t>{0x2u, 0u}));
    uint32_t flags = 99;
    EXPECT_TRUE(handle->getFlags(flags));
    EXPECT_EQ(flags, 0u);
}

} // namespace
