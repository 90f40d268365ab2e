// Delegate sessions: what the delegate hears and in which order, uploads from bytes and files,
// downloads into files that are gone after the callback, redirects put to the delegate, and the
// session letting its delegate go once invalidated.
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "tests/net/TimeoutRoutes.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace plat;

namespace {

// Records every callback as a line; answers redirects as told.
class Recorder : public URLSessionDelegate {
public:
    explicit Recorder(DispatchQueue queue) : queue_(std::move(queue)) {}

    void URLSession(plat::URLSession&, URLSessionTask&, const Data& data) override {
        add("data " + toString(data));
    }
    void URLSession(plat::URLSession&, URLSessionDownloadTask&,
                    const std::filesystem::path& location) override {
        EXPECT_TRUE(queue_.isCurrent());
        add("file " + testsupport::readFile(location));
        downloaded = location;
    }
    void URLSession(plat::URLSession&, URLSessionTask& task, const std::optional<Error>& error) override {
        EXPECT_TRUE(queue_.isCurrent());
        auto response = task.response();
        add(error ? "error " + std::to_string(error->code)
                  : "done " + std::to_string(response ? response->statusCode : -1));
        done.signal();
    }
    void URLSession(plat::URLSession&, URLSessionTask&, const HTTPURLResponse& response, URLRequest request,
                    RedirectCompletion completion) override {
        add("redirect " + std::to_string(response.statusCode) + " to " + request.httpMethod + " " +
            request.url.substr(request.url.rfind('/')));
        completion(followRedirects ? std::optional<URLRequest>(std::move(request)) : std::nullopt);
    }

    std::vector<std::string> lines() {
        std::lock_guard guard(mutex_);
        return lines_;
    }
    bool followRedirects = true;
    std::filesystem::path downloaded;
    DispatchSemaphore done;

private:
    void add(std::string line) {
        std::lock_guard guard(mutex_);
        lines_.push_back(std::move(line));
    }
    DispatchQueue queue_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class URLSessionDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Get("/hello", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("hi " + req.get_header_value("X-Session") + " " + req.get_header_value("X-Both"),
                            "text/plain");
        });
        server.server().Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("got " + req.body, "text/plain");
        });
        for (const char* path : {"/r302", "/r303"}) {
            int status = path[4] == '2' ? 302 : 303;
            auto redirect = [status](const httplib::Request&, httplib::Response& res) {
                res.status = status;
                res.set_header("Location", "/hello");
            };
            server.server().Get(path, redirect);
            server.server().Post(path, redirect);
        }
    }
    std::shared_ptr<URLSession> session(std::shared_ptr<Recorder> delegate,
                                        URLSessionConfiguration configuration = {}) {
        return URLSession::sessionWithConfiguration(std::move(configuration), std::move(delegate), queue);
    }
    std::vector<std::string> run(const std::shared_ptr<URLSessionTask>& task, Recorder& recorder,
                                 std::chrono::seconds limit = std::chrono::seconds(10)) {
        EXPECT_TRUE(task);
        if (!task) return {};
        task->resume();
        EXPECT_TRUE(recorder.done.wait(limit)) << task->originalRequest().url << " did not end";
        queue.sync([] {});
        return recorder.lines();
    }

    testsupport::TempHome home;
    testsupport::LocalHTTPServer server;
    nettest::TimeoutRoutes timeoutRoutes{server.server()};
    DispatchQueue queue = DispatchQueue::serial("test.session.delegate");
};

TEST_F(URLSessionDelegateTest, BytesThenCompletionAndTheDelegateIsLetGoAfterInvalidation) {
    auto recorder = std::make_shared<Recorder>(queue);
    URLSessionConfiguration configuration;
    configuration.HTTPAdditionalHeaders = {{"X-Session", "added"}, {"X-Both", "session"}};
    auto urlSession = session(recorder, configuration);
    URLRequest request(server.url("/hello"));
    request.setValue("request", "X-Both"); // the request's own field wins
    auto task = urlSession->dataTaskWithRequest(request);
    EXPECT_EQ(run(task, *recorder), (std::vector<std::string>{"data hi added request", "done 200"}));
    EXPECT_EQ(task->state(), URLSessionTask::State::Completed);
    EXPECT_EQ(task->currentRequest().value("X-Session"), "added");

    std::weak_ptr<Recorder> weak = recorder;
    recorder.reset();
    EXPECT_FALSE(weak.expired()) << "a live session holds its delegate";
    urlSession->finishTasksAndInvalidate();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(urlSession->dataTaskWithRequest(URLRequest(server.url("/hello"))), nullptr);
    EXPECT_EQ(
        URLSession::sessionWithConfiguration(
            URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(""), nullptr, std::nullopt),
        nullptr);
}

TEST_F(URLSessionDelegateTest, UploadsFromBytesAndFiles) {
    URLRequest post(server.url("/echo"));
    post.httpMethod = "POST";
    auto fromData = std::make_shared<Recorder>(queue);
    EXPECT_EQ(run(session(fromData)->uploadTaskWithRequest(post, toData("bytes")), *fromData),
              (std::vector<std::string>{"data got bytes", "done 200"}));

    auto file = home.path() / "body";
    testsupport::writeFile(file, "from a file");
    auto fromFile = std::make_shared<Recorder>(queue);
    EXPECT_EQ(run(session(fromFile)->uploadTaskWithRequest(post, file), *fromFile),
              (std::vector<std::string>{"data got from a file", "done 200"}));

    auto missing = std::make_shared<Recorder>(queue);
    auto task = session(missing)->uploadTaskWithRequest(post, home.path() / "missing");
    EXPECT_EQ(run(task, *missing),
              std::vector<std::string>{"error " + std::to_string(URLError::FileDoesNotExist)});
    EXPECT_FALSE(task->response());
    EXPECT_EQ(session(missing)->uploadTaskWithRequest(post, std::filesystem::path()), nullptr);
}

TEST_F(URLSessionDelegateTest, DownloadsArriveAsAFileThatIsGoneAfterTheCallback) {
    auto recorder = std::make_shared<Recorder>(queue);
    auto task = session(recorder)->downloadTaskWithRequest(URLRequest(server.url("/hello")));
    EXPECT_EQ(run(task, *recorder), (std::vector<std::string>{"file hi  ", "done 200"}));
    ASSERT_FALSE(recorder->downloaded.empty());
    EXPECT_FALSE(std::filesystem::exists(recorder->downloaded));
}

TEST_F(URLSessionDelegateTest, RedirectsArePutToTheDelegate) {
    auto follow = std::make_shared<Recorder>(queue);
    EXPECT_EQ(run(session(follow)->dataTaskWithRequest(URLRequest(server.url("/r302"))), *follow),
              (std::vector<std::string>{"redirect 302 to GET /hello", "data hi  ", "done 200"}));

    auto refuse = std::make_shared<Recorder>(queue);
    refuse->followRedirects = false;
    EXPECT_EQ(run(session(refuse)->dataTaskWithRequest(URLRequest(server.url("/r302"))), *refuse),
              (std::vector<std::string>{"redirect 302 to GET /hello", "done 302"}));

    // A POST answered by 303 goes on as a GET.
    URLRequest post(server.url("/r303"));
    post.httpMethod = "POST";
    auto seeOther = std::make_shared<Recorder>(queue);
    EXPECT_EQ(run(session(seeOther)->uploadTaskWithRequest(post, toData("x")), *seeOther),
              (std::vector<std::string>{"redirect 303 to GET /hello", "data hi  ", "done 200"}));
}

} // namespace

// A request's timeoutInterval means here what it means to a plain session's task: the time without
// a byte, whatever the session's own timeout for requests.
TEST_F(URLSessionDelegateTest, TimeoutIntervalIsTheTimeWithoutAByte) {
    URLSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = 3600;
    const std::string timedOut = "error " + std::to_string(URLError::TimedOut);
    for (double tiny : {0.0004, 1e-300}) {
        auto recorder = std::make_shared<Recorder>(queue);
        auto task =
            session(recorder, configuration)->dataTaskWithRequest(URLRequest(server.url("/held"), tiny));
        EXPECT_EQ(run(task, *recorder, std::chrono::seconds(5)), std::vector<std::string>{timedOut}) << tiny;
    }

    auto trickle = std::make_shared<Recorder>(queue);
    EXPECT_EQ(
        run(session(trickle, configuration)->dataTaskWithRequest(URLRequest(server.url("/trickle"), 1.5)),
            *trickle),
        (std::vector<std::string>{"data " + std::string(nettest::kTrickleBytes, 'x'), "done 200"}));

    auto stall = std::make_shared<Recorder>(queue);
    EXPECT_EQ(run(session(stall, configuration)->dataTaskWithRequest(URLRequest(server.url("/stall"), 0.5)),
                  *stall, std::chrono::seconds(5)),
              std::vector<std::string>{timedOut});
}
