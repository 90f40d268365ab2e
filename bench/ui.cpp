// The main window under load. First, one update pass (rebuild and layout) of the full main window
// (map and plan text shown) with 500 regions, each pass triggered by a fresh region list as a
// reload publishes it. Then the peak memory of the `velmora` program signed in with 500 regions:
// it runs against a small local server that answers every region request with 500 records, and
// its maximum resident size is read when it has ended. Prints "velmora peak RSS: N MB".
#include "app/ContentViewModel.h"
#include "app/classes/Preferences.h"
#include "app/classes/VPNHelper.h"
#include "app/controllers/VelmoraController.h"
#include "app/network/Client.h"
#include "app/views/VPNMainView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/net/URLSession.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/ui/Host.h"
#include "platform/vpn/NEVPNManager.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

constexpr int kRegions = 500;
const char* const kCountries[] = {"Germany", "Brazil",     "Japan", "Canada",
                                  "España",  "Österreich", "India", "Kenya"};

std::string regionsText() {
    std::string text = "[";
    for (int i = 1; i <= kRegions; ++i) {
        const std::string id = std::to_string(i);
        text += (i > 1 ? "," : "");
        text += "{\"id\":" + id +
                ",\"is_streaming\":false,\"is_free\":false,\"is_alive\":true,\"server_domain\":\"r" + id +
                ".vpn.example\",\"city\":\"City " + id +
                "\",\"country_code\":\"DE\",\"is_p2p\":true,\"ip\":\"192.0.2.1\","
                "\"load_percentage\":" +
                std::to_string(i % 100) + ",\"country_name\":\"" + kCountries[i % 8] +
                "\",\"distance\":" + std::to_string(i * 13 % 9000) +
                ",\"is_nearest\":" + (i % 50 == 0 ? "true" : "false") +
                ",\"location\":{\"latitude\":" + std::to_string(i % 120 - 60) +
                ",\"longitude\":" + std::to_string(i % 340 - 170) +
                "},\"short_name\":\"DE\",\"continent\":\"Europe\"}";
    }
    return text + "]";
}
const std::string kPlan = R"({"status":"active","is_unlimited":false,"name":"Premium"})";

// A private data root with stored credentials and the full layout chosen.
void prepareHome() {
    char dir[] = "/tmp/velmora-bench-ui-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    setenv("VELMORA_HOME", dir, 1);
    setenv("VELMORA_SERIAL_NUMBER", "", 1);
    Preferences::setToken("bench-token");
    Preferences::setEmail("bench@example.org");
    Preferences::setCompactView(false);
}

class BenchClient : public Client {
public:
    BenchClient() : Client(plat::URLSession::shared()), reply_(JSON(plat::toData(regionsText()), 0)) {}
    void userRegions(Completion completion) override {
        plat::mainQueue().async([completion, reply = reply_] { completion(std::nullopt, reply); });
    }
    void userCurrentPlan(Completion completion) override {
        plat::mainQueue().async([completion] { completion(std::nullopt, JSON(plat::toData(kPlan), 0)); });
    }

private:
    JSON reply_;
};

class IdleHelper : public VPNHelper {
public:
    IdleHelper(plat::NEVPNManager& manager, Client& client) : VPNHelper(manager, client) {}
    plat::NEVPNStatus currentStatus() override { return plat::NEVPNStatus::disconnected; }
};

void BM_FullMainWindowUpdatePass(benchmark::State& state) {
    plat::ManualScheduler scheduler;
    plat::NEVPNManager manager{scheduler};
    BenchClient client;
    IdleHelper helper(manager, client);
    auto controller = VelmoraController::create(client, helper);
    auto vm = std::make_shared<ContentViewModel>();
    plat::ui::HostOptions options;
    options.contentSize = {800, 572};
    options.metrics = std::make_shared<plat::render::FontMetrics>();
    plat::ui::Host host(
        plat::ui::make<VPNMainView>(false, [controller] { return controller; }).environmentObject(vm),
        options);
    host.update();
    plat::RunLoop::main().drain(); // the region list's load and the plan text
    host.update();
    if (controller->regions.get().size() != kRegions) state.SkipWithError("the regions did not arrive");
    const auto regions = controller->regions.get();
    const size_t before = host.bodyEvaluations();
    for (auto _ : state) {
        controller->regions = regions;
        host.update();
    }
    state.counters["bodies/pass"] = benchmark::Counter(static_cast<double>(host.bodyEvaluations() - before) /
                                                       static_cast<double>(state.iterations()));
    controller.reset();
    plat::RunLoop::main().drain();
}
BENCHMARK(BM_FullMainWindowUpdatePass)->Unit(benchmark::kMillisecond);

// Answers every request on 127.0.0.1: the region list for paths naming regions, the plan for
// paths naming a plan, "{}" otherwise. One request per connection.
class TinyServer {
public:
    TinyServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(addr);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd_, 16) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            std::abort();
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TinyServer() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
    }
    int port() const { return port_; }
    int regionRequests() const { return regionRequests_; }

private:
    void serve() {
        const std::string regions = regionsText();
        while (!stop_) {
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = recv(c, buf, sizeof(buf), 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
            }
            const std::string line = request.substr(0, request.find('\r'));
            std::string body = "{}";
            if (line.find("regions") != std::string::npos) {
                body = regions;
                ++regionRequests_;
            } else if (line.find("plan") != std::string::npos) {
                body = kPlan;
            }
            const std::string reply =
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            for (size_t sent = 0; sent < reply.size();) {
                ssize_t n = send(c, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            close(c);
        }
    }
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> regionRequests_{0};
    std::thread thread_;
};

// Runs `velmora` signed in against the server for a few seconds after its regions were served,
// then stops it; returns its peak resident size in kilobytes (0 when it could not run).
long velmoraPeakKilobytes() {
    const auto exe =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "velmora";
    if (!std::filesystem::exists(exe)) return 0;
    TinyServer server;
    const std::string api = "http://127.0.0.1:" + std::to_string(server.port()) + "/api/";
    pid_t pid = fork();
    if (pid == 0) {
        setenv("VELMORA_API_BASE", api.c_str(), 1);
        unsetenv("DISPLAY");
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.regionRequests() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::seconds(3)); // decoding, ranking and the windows' passes
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (server.regionRequests() == 0) return 0;
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    prepareHome();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const long kb = velmoraPeakKilobytes();
    if (kb == 0)
        std::printf("velmora peak RSS: not measured (no velmora binary, or no region request)\n");
    else
        std::printf("velmora peak RSS: %.1f MB (%d regions, signed in)\n", static_cast<double>(kb) / 1024.0,
                    kRegions);
    return 0;
}
