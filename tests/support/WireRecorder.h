// A bare HTTP/1.1 server of a test's own on 127.0.0.1 and an ephemeral port, for checking what goes
// out on the wire: it keeps every request's head exactly as it arrived (HTTP libraries drop header
// fields whose value is empty, so a server built on one cannot see them) and answers each request
// with one fixed reply, closing the connection after it. Serves one connection at a time on its own
// thread; requests() may be read from any thread.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

class WireRecorder {
public:
    struct Request {
        std::string method;
        std::string target; // path and query, as sent
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        // The value of the first field of that name (any case); none when the field did not come.
        std::optional<std::string> header(const std::string& name) const;
    };

    // Answers every request with `reply`, a whole HTTP reply (see WireRecorder::reply).
    explicit WireRecorder(std::string reply);
    ~WireRecorder();
    WireRecorder(const WireRecorder&) = delete;
    WireRecorder& operator=(const WireRecorder&) = delete;

    // A reply with this status, these fields, the body and its Content-Length, and "Connection: close".
    static std::string reply(int status, const std::vector<std::pair<std::string, std::string>>& headers = {},
                             const std::string& body = "");

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string url(const std::string& path = "") const;
    std::vector<Request> requests() const;

private:
    void serve();
    void handle(int connection);

    std::string reply_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex lock_;
    std::vector<Request> requests_;
    std::thread thread_;
};

} // namespace testsupport
