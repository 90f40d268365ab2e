#include "platform/net/NetworkPathListeners.h"

#include "platform/log/OSLog.h"

#include <charconv>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plat {
namespace {

constexpr unsigned kRouteUp = 0x0001;     // RTF_UP
constexpr unsigned kRouteReject = 0x0200; // RTF_REJECT
constexpr unsigned kLinkUp = 0x1;         // IFF_UP
constexpr unsigned kLinkRunning = 0x40;   // IFF_RUNNING

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
            ++at;
        size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        if (end > at) out.push_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

std::optional<unsigned long long> hex(std::string_view text) {
    if (text.rfind("0x", 0) == 0) text.remove_prefix(2);
    unsigned long long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

template <typename Visit> void eachLine(std::string_view text, Visit visit) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        visit(text.substr(at, end - at));
        at = end + 1;
    }
}

bool usableInterface(const std::string& name,
                     const std::function<std::optional<unsigned>(const std::string&)>& linkFlags) {
    if (name.empty() || name == "lo") return false;
    std::optional<unsigned> flags = linkFlags(name);
    return flags && (*flags & kLinkUp) && (*flags & kLinkRunning);
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::optional<unsigned> sysLinkFlags(const std::string& name) {
    // Interface names come from the kernel's own tables; refuse anything that could leave the folder.
    if (name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
    std::string text = readText("/sys/class/net/" + name + "/flags");
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    auto value = hex(text);
    if (!value) return std::nullopt;
    unsigned flags = static_cast<unsigned>(*value);
    // The flags file leaves IFF_RUNNING out (it holds the administrative flags only); the kernel
    // reports a running link through operstate, "unknown" for drivers that do not track it.
    std::string state = readText("/sys/class/net/" + name + "/operstate");
    if (state.rfind("up", 0) == 0 || state.rfind("unknown", 0) == 0) flags |= kLinkRunning;
    return flags;
}

const OSLog& log() {
    static const auto* instance = new OSLog("com.velmora.platform", "reachability");
    return *instance;
}

} // namespace

uint32_t KernelNetworkPathMonitor::flagsFromRouteTables(
    std::string_view ipv4Routes, std::string_view ipv6Routes,
    const std::function<std::optional<unsigned>(const std::string&)>& linkFlags) {
    bool reachable = false;
    eachLine(ipv4Routes, [&](std::string_view line) {
        // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
        auto f = fields(line);
        if (reachable || f.size() < 8) return;
        auto destination = hex(f[1]), flags = hex(f[3]), mask = hex(f[7]);
        if (!destination || !flags || !mask) return; // the header line, or damage
        if (*destination != 0 || *mask != 0) return;
        if (!(*flags & kRouteUp) || (*flags & kRouteReject)) return;
        reachable = usableInterface(std::string(f[0]), linkFlags);
    });
    eachLine(ipv6Routes, [&](std::string_view line) {
        // destination prefix source prefix next-hop metric refcount use flags interface
        auto f = fields(line);
        if (reachable || f.size() < 10 || f[0].size() != 32) return;
        auto prefix = hex(f[1]), flags = hex(f[8]);
        if (!prefix || !flags || *prefix != 0) return;
        if (f[0].find_first_not_of('0') != std::string_view::npos) return;
        if (!(*flags & kRouteUp) || (*flags & kRouteReject)) return;
        reachable = usableInterface(std::string(f[9]), linkFlags);
    });
    return reachable ? kReachabilityFlagsReachable : 0;
}

// Listens on a route netlink socket on its own thread and calls the handler after each burst of
// messages; an eventfd wakes it to stop.
struct KernelNetworkPathMonitor::Watcher {
    std::mutex lock; // guards starting the thread
    NetworkPathListeners listeners;
    int socketFd = -1;
    int stopFd = -1;
    std::thread thread;

    bool start() {
        socketFd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
        if (socketFd < 0) return false;
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR;
        if (::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(socketFd);
            socketFd = -1;
            return false;
        }
        stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stopFd < 0) {
            ::close(socketFd);
            socketFd = -1;
            return false;
        }
        thread = std::thread([this] { run(); });
        return true;
    }

    void run() {
        std::vector<char> buffer(16384);
        for (;;) {
            pollfd fds[2] = {{socketFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) return;
            // Drain everything queued; the content does not matter, only that something changed.
            while (::recv(socketFd, buffer.data(), buffer.size(), 0) > 0) {
            }
            listeners.notify();
        }
    }

    ~Watcher() {
        if (thread.joinable()) {
            uint64_t one = 1;
            (void)!::write(stopFd, &one, sizeof one);
            thread.join();
        }
        if (socketFd >= 0) ::close(socketFd);
        if (stopFd >= 0) ::close(stopFd);
    }
};

std::shared_ptr<KernelNetworkPathMonitor> KernelNetworkPathMonitor::shared() {
    static auto* instance = new std::shared_ptr<KernelNetworkPathMonitor>(new KernelNetworkPathMonitor);
    return *instance;
}

KernelNetworkPathMonitor::KernelNetworkPathMonitor() : watcher_(std::make_unique<Watcher>()) {}

KernelNetworkPathMonitor::~KernelNetworkPathMonitor() = default;

std::optional<uint32_t> KernelNetworkPathMonitor::currentFlags() {
    std::ifstream probe("/proc/net/route");
    if (!probe) return std::nullopt;
    return flagsFromRouteTables(readText("/proc/net/route"), readText("/proc/net/ipv6_route"), sysLinkFlags);
}

NetworkPathMonitor::ListenerToken KernelNetworkPathMonitor::addChangeHandler(std::function<void()> changed) {
    ListenerToken token = watcher_->listeners.add(std::move(changed));
    std::lock_guard guard(watcher_->lock);
    if (!watcher_->thread.joinable() && watcher_->socketFd < 0 && !watcher_->start())
        log().error("Route changes cannot be heard (no netlink socket); flags are read on demand only.");
    return token;
}

void KernelNetworkPathMonitor::removeChangeHandler(ListenerToken token) {
    // The watcher keeps running without listeners: it is one thread for the process.
    watcher_->listeners.remove(token);
}

} // namespace plat
