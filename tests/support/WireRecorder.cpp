#include "tests/support/WireRecorder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::string trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// Reads until `enough` says the bytes so far are complete, the peer closes, or 5 s pass quietly.
template <typename Enough> std::string readUntil(int fd, std::string bytes, Enough enough) {
    char buffer[4096];
    while (!enough(bytes)) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

} // namespace

std::optional<std::string> WireRecorder::Request::header(const std::string& name) const {
    for (const auto& [field, value] : headers)
        if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
    return std::nullopt;
}

WireRecorder::WireRecorder(std::string reply) : reply_(std::move(reply)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("the wire recorder cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

WireRecorder::~WireRecorder() {
    (void)!::write(stopPipe_[1], "x", 1);
    thread_.join();
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::string WireRecorder::reply(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                                const std::string& body) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Reply\r\n";
    for (const auto& [name, value] : headers)
        text += name + ": " + value + "\r\n";
    return text + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string WireRecorder::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<WireRecorder::Request> WireRecorder::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

void WireRecorder::serve() {
    for (;;) {
        pollfd ready[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) continue;
        if (ready[1].revents) return;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        handle(connection);
        ::close(connection);
    }
}

void WireRecorder::handle(int connection) {
    const std::string received = readUntil(
        connection, "", [](const std::string& bytes) { return bytes.find("\r\n\r\n") != std::string::npos; });
    const size_t headEnd = received.find("\r\n\r\n");
    if (headEnd == std::string::npos) return;
    Request request;
    size_t at = 0;
    bool first = true;
    while (at < headEnd) {
        size_t end = received.find("\r\n", at);
        const std::string line = received.substr(at, end - at);
        at = end + 2;
        if (first) {
            first = false;
            const size_t space = line.find(' ');
            request.method = line.substr(0, space);
            request.target = line.substr(space + 1, line.rfind(' ') - space - 1);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        request.headers.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    }
    size_t length = 0;
    try {
        length = std::stoul(request.header("Content-Length").value_or("0"));
    } catch (const std::exception&) {
    }
    request.body = readUntil(connection, received.substr(headEnd + 4),
                             [length](const std::string& bytes) { return bytes.size() >= length; });
    {
        std::lock_guard guard(lock_);
        requests_.push_back(std::move(request));
    }
    for (size_t sent = 0; sent < reply_.size();) {
        const ssize_t n = ::send(connection, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
}

} // namespace testsupport
