// The stand-in's record of the API requests it received, for tests that check what the client sent.
// Thread-safe: the server's worker threads append while a test reads.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace standin {

struct RequestLogEntry {
    std::string method;
    std::string path;  // without the query
    std::string query; // undecoded text after '?', empty when none
    // Header fields with their names in the case the client sent them. The HTTP library keeps
    // them ordered by name (case-insensitively); fields of the same name stay in arrival order.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body; // the body bytes exactly as received

    std::vector<std::string> headerNames() const;
};

class RequestLog {
public:
    void append(RequestLogEntry entry);
    std::vector<RequestLogEntry> entries() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<RequestLogEntry> entries_;
};

} // namespace standin
