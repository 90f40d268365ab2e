// An HTTP server of a test's own on 127.0.0.1 and an ephemeral port, serving on its own thread, for
// replies the stand-in does not give. Header-only, so that only the tests that use it see the HTTP
// library (link PkgConfig::HTTPLIB).
#pragma once

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace testsupport {

class LocalHTTPServer {
public:
    LocalHTTPServer() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LocalHTTPServer() {
        server_.stop();
        thread_.join();
    }
    LocalHTTPServer(const LocalHTTPServer&) = delete;
    LocalHTTPServer& operator=(const LocalHTTPServer&) = delete;

    httplib::Server& server() { return server_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace testsupport
