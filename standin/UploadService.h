// The stand-in's event upload service: the upload endpoints of the four targets, the bodies they
// received (inflated and decoded for the log), the wait each target's replies ask for, and the
// faults tests arm per target. Thread-safe; every read returns a copy.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// A fault of one target's uploads.
struct UploadFault {
    enum class Kind {
        Status,    // the reply `status` (400, 404, 429 with Retry-After, 500) with an empty body
        Drop,      // the connection drops while the reply is sent
        Malformed, // 200 with a body that is not a log response
        Redirect,  // `status` (301, 302, 307 or 308) to `location`
    };
    Kind kind = Kind::Status;
    int status = 500;
    std::string retryAfter = "30"; // the Retry-After of a 429
    std::string location;          // where a redirect sends; "" for the target's redirected path
    bool once = false;             // cleared after it fired once

    // The fault for its admin name: "400", "404", "429", "500", "drop", "malformed",
    // "redirect-301", "redirect-302", "redirect-307" or "redirect-308", each also with "-once".
    static std::optional<UploadFault> named(const std::string& name);
};

// One received upload, whatever the answer.
struct UploadRecord {
    int64_t target = 0;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentEncoding;        // as sent; "" when none
    size_t wireSize = 0;                // the body's bytes as received
    std::string body;                   // inflated when it came gzip-encoded
    std::optional<std::string> decoded; // the JSON summary (UploadBodyDecoder); none when undecodable
    std::string decodeError;
    int status = 0; // what the stand-in answered
};

class UploadService {
public:
    // The endpoint paths: the path of each target's built-in upload address, and the path a
    // redirect fault sends a target to ("/v1/redirected/<target>").
    static const std::map<int64_t, std::string>& uploadPaths();
    static std::string redirectedPath(int64_t target);
    // The target a request path uploads to; none for other paths.
    static std::optional<int64_t> targetForPath(const std::string& path);

    // Arms `fault` for `target`, or for every target when `target` is none.
    void setFault(std::optional<int64_t> target, UploadFault fault);
    void clearFaults();
    // The armed fault of the target; a one-time fault is disarmed by taking it.
    std::optional<UploadFault> takeFault(int64_t target);

    // The next_request_wait_millis the target's successful replies carry (none: the field is left
    // out), or for every target when `target` is none.
    void setWait(std::optional<int64_t> target, std::optional<int64_t> millis);
    std::optional<int64_t> wait(int64_t target) const;

    // Keeps a received upload; answers its index.
    size_t append(UploadRecord record);
    std::vector<UploadRecord> records() const;
    std::optional<UploadRecord> record(size_t index) const;

    // No bodies, faults or waits.
    void reset();

private:
    mutable std::mutex mutex_;
    std::vector<UploadRecord> records_;
    std::map<int64_t, UploadFault> faults_;
    std::optional<UploadFault> everyTargetFault_;
    std::map<int64_t, std::optional<int64_t>> waits_;
    std::optional<int64_t> everyTargetWait_;
};

} // namespace standin
