// Replies for testing a request's timeout, on a test's own server: "/held" answers only once the
// routes go away, "/trickle" sends a byte every quarter second, "/stall" sends a burst and then
// nothing until the routes go away. Declare them after the server, so they release it first.
#pragma once

#include "tests/support/WaitFor.h"

#include <httplib.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace nettest {

inline constexpr size_t kTrickleBytes = 12;
inline constexpr std::chrono::milliseconds kTrickleGap{250};

struct TimeoutRoutes {
    explicit TimeoutRoutes(httplib::Server& server) {
        // Each handler keeps its own copy of the release: it may still be waking after the routes went.
        server.Get("/held", [released = released](const httplib::Request&, httplib::Response& res) {
            released.wait_for(testsupport::kPatience);
            res.set_content("late", "text/plain");
        });
        // The reply itself is slow on purpose: each byte comes a gap after the one before. Bytes of
        // a type the server would compress would wait in its compressor instead.
        server.Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [](size_t offset, httplib::DataSink& sink) {
                                                 if (offset == kTrickleBytes) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 if (offset > 0) std::this_thread::sleep_for(kTrickleGap);
                                                 return sink.write("x", 1);
                                             });
        });
        server.Get("/stall", [released = released](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/octet-stream", [released](size_t offset, httplib::DataSink& sink) {
                    if (offset == 0) return sink.write(std::string(64 * 1024, 'x').data(), 64 * 1024);
                    released.wait_for(testsupport::kPatience);
                    sink.done();
                    return true;
                });
        });
    }
    ~TimeoutRoutes() { release.set_value(); }

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
};

} // namespace nettest
