// Faults that tests arm per request path: the stand-in then answers that path with an empty body,
// a body that is not JSON, a 404 with a JSON body, after a delay, or once the test lets it. Thread-safe.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace standin {

struct Fault {
    enum class Kind {
        Empty,        // 200 with no body
        NonJson,      // 200 with an HTML body
        NotFoundJson, // 404 with {"message":"Not Found"}
        Delay,        // the normal reply, sent after `delay`
        Hold,         // the normal reply, made and sent once the test releases it (in process only)
    };
    Kind kind = Kind::Empty;
    std::chrono::milliseconds delay{0};

    // The kind for its admin name "empty", "nonjson", "notfound-json" or "delay".
    static std::optional<Kind> kindNamed(const std::string& name);
};

// Past the application's 10-second request timeout, for a "delay" fault armed without a duration.
inline constexpr std::chrono::milliseconds kDefaultFaultDelay{11000};

class FaultTable {
public:
    // Arms `fault` for `path`: an absolute path ("/api/devices"), a path relative to the API base
    // ("devices"), or either ending in '*' to match every path with that prefix.
    void set(const std::string& path, Fault fault);
    void remove(const std::string& path);
    void clear();
    // The fault for a request path: an exact entry first, then the longest matching prefix entry.
    std::optional<Fault> find(const std::string& requestPath) const;

    // The absolute form of a path given to set() or remove().
    static std::string normalise(const std::string& path);

private:
    mutable std::mutex mutex_;
    std::map<std::string, Fault> faults_;
};

} // namespace standin
