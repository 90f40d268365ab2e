#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "tests/net/TimeoutRoutes.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WireRecorder.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace plat;

namespace {

using LocalServer = testsupport::LocalHTTPServer;

struct Result {
    std::optional<Data> data;
    std::optional<HTTPURLResponse> response;
    std::optional<Error> error;
    bool onDelegateQueue = false;
};

Result run(URLSession& session, URLRequest request,
           std::chrono::milliseconds limit = testsupport::kPatience) {
    // Shared with the completion, which may still come after a request that did not end in time.
    struct Outcome {
        Result result;
        DispatchSemaphore done;
    };
    auto outcome = std::make_shared<Outcome>();
    auto queue = session.delegateQueue();
    const std::string url = request.url;
    session
        .dataTask(
            std::move(request),
            [outcome, queue](auto data, auto response, auto error) {
                outcome->result = {std::move(data), std::move(response), std::move(error), queue.isCurrent()};
                outcome->done.signal();
            })
        ->resume();
    if (!outcome->done.wait(limit)) {
        ADD_FAILURE() << url << " did not end";
        return {};
    }
    return outcome->result;
}

// A loopback port that nothing listens on: bound once to learn a free number, then closed.
int unusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

std::string gzipBytes(const std::string& text) {
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(text.size() + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    zs.avail_in = static_cast<uInt>(text.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

} // namespace

TEST(URLSession, SendsMethodHeadersAndBodyExactlyAsGiven) {
    LocalServer server;
    std::string seenBody, seenMethod;
    httplib::Headers seenHeaders;
    server.server().Post("/form", [&](const httplib::Request& req, httplib::Response& res) {
        seenBody = req.body;
        seenMethod = req.method;
        seenHeaders = req.headers;
        res.status = 201;
        res.set_header("X-Reply", "yes");
        res.set_content("{\"ok\":true}", "application/json");
    });
    URLRequest request(server.url("/form"), 10);
    request.httpMethod = "POST";
    request.setAllHTTPHeaderFields({{"Accept", "application/json"}, {"Cache-control", "no-cache"}});
    request.setValue("Bearer abc", "Authorization");
    request.httpBody = toData("line one\r\nline two\r\n");
    URLSession session(DispatchQueue::serial("test.delegate"));
    Result r = run(session, request);

    ASSERT_FALSE(r.error) << r.error->localizedDescription();
    EXPECT_TRUE(r.onDelegateQueue);
    EXPECT_EQ(r.response->statusCode, 201);
    EXPECT_EQ(r.response->value("x-reply"), "yes");
    EXPECT_EQ(toString(*r.data), "{\"ok\":true}");
    EXPECT_EQ(seenMethod, "POST");
    EXPECT_EQ(seenBody, "line one\r\nline two\r\n");
    EXPECT_EQ(seenHeaders.count("Expect"), 0u);
    EXPECT_EQ(seenHeaders.count("Content-Type"), 0u) << "no content type the caller did not set";
    EXPECT_EQ(httplib::detail::get_header_value(seenHeaders, "Authorization", 0, ""),
              std::string("Bearer abc"));
    EXPECT_EQ(httplib::detail::get_header_value(seenHeaders, "Cache-control", 0, ""),
              std::string("no-cache"));
}

TEST(URLSession, AFieldWithAnEmptyValueGoesOutEmpty) {
    testsupport::WireRecorder wire(testsupport::WireRecorder::reply(204));
    URLRequest request(wire.url("/empty"), 10);
    request.setValue("", "X-Empty");
    request.setValue(" ", "X-Blank");
    request.setValue("kept", "X-Dropped");
    request.setValue(std::nullopt, "X-Dropped");
    URLSession session(DispatchQueue::serial("test.delegate"));
    Result r = run(session, request);
    ASSERT_FALSE(r.error) << r.error->localizedDescription();
    ASSERT_EQ(wire.requests().size(), 1u);
    const testsupport::WireRecorder::Request sent = wire.requests()[0];
    EXPECT_EQ(sent.header("X-Empty"), "");
    EXPECT_EQ(sent.header("X-Blank"), "");
    EXPECT_FALSE(sent.header("X-Dropped"));
}

TEST(URLSession, HeaderFieldsReplaceCaseInsensitivelyAndKeepOrder) {
    URLRequest request("http://127.0.0.1/");
    request.setAllHTTPHeaderFields({{"A", "1"}, {"B", "2"}});
    request.setValue("3", "a");
    request.setValue("", "B");
    EXPECT_EQ(request.value("b"), "") << "an empty value is kept";
    request.setValue(std::nullopt, "B");
    EXPECT_FALSE(request.value("b")) << "no value removes the field";
    request.addValue("4", "C");
    request.addValue("5", "c");
    ASSERT_EQ(request.allHTTPHeaderFields().size(), 2u);
    EXPECT_EQ(request.allHTTPHeaderFields()[0], (std::pair<std::string, std::string>{"a", "3"}));
    EXPECT_EQ(request.value("C"), "4, 5");
}

TEST(URLSession, EmptyReplyBodyIsEmptyDataAndGzipIsDecoded) {
    LocalServer server;
    server.server().Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
    server.server().Get("/gz", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(gzipBytes("{\"zipped\":1}"), "application/json");
    });
    URLSession session(DispatchQueue::serial("test.delegate"));
    Result empty = run(session, URLRequest(server.url("/empty")));
    ASSERT_TRUE(empty.data.has_value());
    EXPECT_TRUE(empty.data->empty());
    EXPECT_EQ(empty.response->statusCode, 204);

    Result zipped = run(session, URLRequest(server.url("/gz")));
    ASSERT_TRUE(zipped.data);
    EXPECT_EQ(toString(*zipped.data), "{\"zipped\":1}");
}

TEST(URLSession, TransportFailuresMapToURLErrorCodes) {
    URLSession session(DispatchQueue::serial("test.delegate"));
    const int closedPort = unusedPort();
    Result refused = run(session, URLRequest("http://127.0.0.1:" + std::to_string(closedPort) + "/"));
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->domain, URLError::kDomain);
    EXPECT_EQ(refused.error->code, URLError::CannotConnectToHost);
    EXPECT_FALSE(refused.data);
    EXPECT_FALSE(refused.response);

    // The reply waits until the request has timed out, however late the machine runs the timer.
    DispatchSemaphore answer;
    LocalServer slow;
    slow.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        answer.wait(testsupport::kPatience);
        res.set_content("late", "text/plain");
    });
    auto started = std::chrono::steady_clock::now();
    Result timedOut = run(session, URLRequest(slow.url("/slow"), 0.2));
    answer.signal();
    ASSERT_TRUE(timedOut.error);
    EXPECT_EQ(timedOut.error->code, URLError::TimedOut);
    EXPECT_EQ(timedOut.error->localizedDescription(), "The request timed out.");
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));

    Result unsupported = run(session, URLRequest("ftp://127.0.0.1/file"));
    ASSERT_TRUE(unsupported.error);
    EXPECT_EQ(unsupported.error->code, URLError::UnsupportedURL);
}

// timeoutInterval is the time without a byte: the smallest positive one still ends a reply held
// back, a reply that keeps trickling in is never cut off, and one that stalls half-way ends.
TEST(URLSession, TimeoutIntervalIsTheTimeWithoutAByte) {
    LocalServer server;
    nettest::TimeoutRoutes routes(server.server());
    URLSession session(DispatchQueue::serial("test.delegate"));
    for (double tiny : {0.0004, 1e-300}) {
        Result held = run(session, URLRequest(server.url("/held"), tiny), std::chrono::seconds(5));
        ASSERT_TRUE(held.error) << tiny;
        EXPECT_EQ(held.error->code, URLError::TimedOut) << tiny;
    }

    Result trickled = run(session, URLRequest(server.url("/trickle"), 1.5));
    EXPECT_FALSE(trickled.error);
    EXPECT_EQ(toString(trickled.data.value_or(Data())), std::string(nettest::kTrickleBytes, 'x'));

    Result stalled = run(session, URLRequest(server.url("/stall"), 0.5), std::chrono::seconds(5));
    ASSERT_TRUE(stalled.error);
    EXPECT_EQ(stalled.error->code, URLError::TimedOut);
}

TEST(URLSession, CancelDeliversCancelledError) {
    // The server has the request and answers only once the task was cancelled.
    DispatchSemaphore arrived, answer;
    LocalServer slow;
    slow.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        arrived.signal();
        answer.wait(testsupport::kPatience);
        res.set_content("late", "text/plain");
    });
    URLSession session(DispatchQueue::serial("test.delegate"));
    std::optional<Error> error;
    DispatchSemaphore done;
    auto task = session.dataTask(URLRequest(slow.url("/slow")), [&](auto, auto, auto e) {
        error = e;
        done.signal();
    });
    task->resume();
    ASSERT_TRUE(arrived.wait(testsupport::kPatience));
    task->cancel();
    const bool called = done.wait(testsupport::kPatience);
    answer.signal();
    ASSERT_TRUE(called);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, URLError::Cancelled);
    EXPECT_EQ(task->state(), URLSessionDataTask::State::Completed);
}

TEST(URLSession, RedirectHandlerSeesEachRedirectAndDecidesWhatIsSentNext) {
    LocalServer server;
    std::vector<std::string> seen; // method, path, body and marker header of each request
    auto record = [&](const httplib::Request& req) {
        seen.push_back(req.method + " " + req.path + " " + req.body + " " + req.get_header_value("X-Key"));
    };
    server.server().Post("/moved", [&](const httplib::Request& req, httplib::Response& res) {
        record(req);
        res.status = 302;
        res.set_header("Location", "/target");
    });
    server.server().Post("/kept", [&](const httplib::Request& req, httplib::Response& res) {
        record(req);
        res.status = 307;
        res.set_header("Location", "/target");
    });
    auto target = [&](const httplib::Request& req, httplib::Response& res) {
        record(req);
        res.set_content("arrived", "text/plain");
    };
    server.server().Post("/target", target);
    server.server().Get("/target", target);
    server.server().Get("/loop", [&](const httplib::Request&, httplib::Response& res) {
        res.status = 301;
        res.set_header("Location", "/loop");
    });

    URLRequest request(server.url("/moved"), 10);
    request.httpMethod = "POST";
    request.httpBody = toData("body");
    request.setValue("k", "X-Key");
    request.setValue("text/plain", "Content-Type");

    // The proposal after a 302 is a bodiless GET; this handler rebuilds the POST instead.
    std::vector<std::string> proposals;
    URLSession rebuilding(
        DispatchQueue::serial("test.delegate"),
        [&](const HTTPURLResponse& redirect, URLRequest proposed) -> std::optional<URLRequest> {
            proposals.push_back(std::to_string(redirect.statusCode) + " " + proposed.httpMethod + " " +
                                (proposed.httpBody ? "body" : "none"));
            URLRequest rebuilt = request;
            rebuilt.url = proposed.url;
            return rebuilt;
        });
    Result r = run(rebuilding, request);
    ASSERT_FALSE(r.error);
    EXPECT_EQ(toString(*r.data), "arrived");
    EXPECT_EQ(proposals, std::vector<std::string>{"302 GET none"});
    EXPECT_EQ(seen, (std::vector<std::string>{"POST /moved body k", "POST /target body k"}));

    // A 307 proposal keeps method and body; a handler answering none gets the redirect itself.
    seen.clear();
    proposals.clear();
    URLSession stopping(
        DispatchQueue::serial("test.delegate"),
        [&](const HTTPURLResponse& redirect, URLRequest proposed) -> std::optional<URLRequest> {
            proposals.push_back(std::to_string(redirect.statusCode) + " " + proposed.httpMethod + " " +
                                (proposed.httpBody ? "body" : "none"));
            return std::nullopt;
        });
    request.url = server.url("/kept");
    r = run(stopping, request);
    ASSERT_FALSE(r.error);
    EXPECT_EQ(r.response->statusCode, 307);
    EXPECT_EQ(proposals, std::vector<std::string>{"307 POST body"});
    EXPECT_EQ(seen.size(), 1u);

    // Endless redirects end with the too-many-redirects error.
    URLSession following(
        DispatchQueue::serial("test.delegate"),
        [](const HTTPURLResponse&, URLRequest proposed) -> std::optional<URLRequest> { return proposed; });
    r = run(following, URLRequest(server.url("/loop"), 10));
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->code, URLError::HTTPTooManyRedirects);
}
