// The main window under load. First, one update pass (rebuild and layout) of the full main window
// (map and plan text shown) with 500 regions, each pass triggered by a fresh region list as a
// reload publishes it. Then the peak memory of the `velmora` program signed in with 500 regions:
// it runs against a small local server that answers every region request with 500 records, and
// its maximum resident size is read when it has ended. Prints "velmora peak RSS: N MB". Last, the
// same program signed in on a display (the one in $DISPLAY, else an Xvfb the bench starts) next to
// a bare window of the same renderer on that display: both resident sizes once they have settled,
// and what the application adds to the window (the goal is at most 40 MB).
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
#include "platform/render/Surface.h"
#include "platform/render/WindowSystem.h"
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
#include <fstream>
#include <optional>
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

std::filesystem::path velmoraBinary() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "velmora";
}

// A program started with its output on /dev/null; `display` empty runs it without one.
pid_t launch(const std::vector<std::string>& argv, const std::string& api, const std::string& display) {
    std::fflush(stdout); // the child's reopened streams would write what is buffered again
    pid_t pid = fork();
    if (pid == 0) {
        if (!api.empty()) setenv("VELMORA_API_BASE", api.c_str(), 1);
        if (display.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", display.c_str(), 1);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// A /proc/<pid>/status field in kilobytes ("VmRSS"); 0 when it cannot be read.
long statusKilobytes(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return 0;
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

// Runs `velmora` signed in against the server for a few seconds after its regions were served,
// then stops it; returns its peak resident size in kilobytes (0 when it could not run).
long velmoraPeakKilobytes() {
    const auto exe = velmoraBinary();
    if (!std::filesystem::exists(exe)) return 0;
    TinyServer server;
    const std::string api = "http://127.0.0.1:" + std::to_string(server.port()) + "/api/";
    const pid_t pid = launch({exe.string()}, api, "");
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

// The display to measure on: $DISPLAY, else an Xvfb started here (stopped by the caller).
std::optional<std::string> display(pid_t* xvfb) {
    *xvfb = -1;
    if (const char* d = std::getenv("DISPLAY"); d && *d) return std::string(d);
    if (access("/usr/bin/Xvfb", X_OK) != 0) return std::nullopt;
    for (int n = 150 + getpid() % 300; n < 900; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (std::filesystem::exists(socket) ||
            std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
            continue;
        const std::string name = ":" + std::to_string(n);
        *xvfb = launch({"/usr/bin/Xvfb", name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, "", "");
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        if (std::filesystem::exists(socket)) return name;
        stop(*xvfb);
        *xvfb = -1;
    }
    return std::nullopt;
}

// `bench_ui --bare-window`: one window of the renderer, 800 by 600 (the full main window) with
// nothing in it, drawn
// until the process is stopped; what any window of this renderer costs on the display.
int bareWindow() {
    if (!plat::render::WindowSystem::available()) return 1;
    plat::render::WindowOptions options;
    options.title = "bare";
    options.contentSize = {800, 600};
    auto window = plat::render::WindowSystem::shared().createWindow(options);
    window->present(plat::render::DisplayList{});
    for (;;)
        plat::render::WindowSystem::shared().runOnce(std::chrono::milliseconds(200));
}

struct DisplayMemory {
    long velmora = 0; // kilobytes resident, signed in with 500 regions and its windows shown
    long bare = 0;    // kilobytes resident, a bare window
};

// Both programs on one display, each measured once it has settled.
std::optional<DisplayMemory> displayMemory() {
    const auto exe = velmoraBinary();
    if (!std::filesystem::exists(exe)) return std::nullopt;
    pid_t xvfb = -1;
    const auto on = display(&xvfb);
    if (!on) return std::nullopt;
    DisplayMemory m;
    const pid_t bare = launch({"/proc/self/exe", "--bare-window"}, "", *on);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    m.bare = statusKilobytes(bare, "VmRSS");
    stop(bare);

    TinyServer server;
    const std::string api = "http://127.0.0.1:" + std::to_string(server.port()) + "/api/";
    const pid_t app = launch({exe.string()}, api, *on);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.regionRequests() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::seconds(4)); // the list, the flags and the passes
    m.velmora = statusKilobytes(app, "VmRSS");
    stop(app);
    if (xvfb > 0) stop(xvfb);
    if (server.regionRequests() == 0 || m.velmora == 0 || m.bare == 0) return std::nullopt;
    return m;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--bare-window") return bareWindow();
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
    if (const auto m = displayMemory()) {
        const double app = static_cast<double>(m->velmora) / 1024.0,
                     bare = static_cast<double>(m->bare) / 1024.0;
        std::printf("velmora RSS on a display: %.1f MB (%d regions, signed in); a bare window of the same "
                    "renderer: %.1f MB; the application adds %.1f MB (goal: at most 40 MB)\n",
                    app, kRegions, bare, app - bare);
    } else {
        std::printf(
            "velmora RSS on a display: not measured (no velmora binary, no display, or no region request)\n");
    }
    std::filesystem::remove_all(std::getenv("VELMORA_HOME"));
    return 0;
}
