// velmora-standin: runs the local stand-in of the VPN service's REST API until SIGINT or SIGTERM.
//   velmora-standin [--port N]    (N = 0, the default, picks a free port)
// Prints the base URL for VELMORA_API_BASE, the origin for VELMORA_TESSERA_BASE and the demo account
// on standard output, then one line per API request.
#include "standin/StandinServer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>

namespace {

void usage(std::ostream& out) {
    out << "usage: velmora-standin [--port N]\n";
}

bool parsePort(const char* text, int& port) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            if (!parsePort(argv[++i], port)) {
                std::cerr << "velmora-standin: invalid port: " << argv[i] << "\n";
                return 2;
            }
        } else if (std::strncmp(argv[i], "--port=", 7) == 0) {
            if (!parsePort(argv[i] + 7, port)) {
                std::cerr << "velmora-standin: invalid port: " << (argv[i] + 7) << "\n";
                return 2;
            }
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(std::cout);
            return 0;
        } else {
            usage(std::cerr);
            return 2;
        }
    }

    // Block the stop signals before any thread starts, so that every server thread inherits the
    // mask and only sigwait() below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    standin::StandinServer server;
    // One line per API request, so the log shows what the application asked for.
    std::mutex printing;
    server.setAccessLog([&printing](const std::string& line) {
        std::lock_guard lock(printing);
        std::cout << "request: " << line << std::endl;
    });
    try {
        server.start(port);
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    std::cout << "velmora-standin listening on " << server.baseURL() << "\n"
              << "app-core services at http://127.0.0.1:" << server.port() << "\n"
              << "demo account: " << standin::StandinServer::demoEmail() << " / "
              << standin::StandinServer::demoPassword() << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    std::cout << "velmora-standin stopped" << std::endl;
    return 0;
}
