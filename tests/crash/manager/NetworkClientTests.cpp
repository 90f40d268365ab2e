// The settings network client against the stand-in's crash settings endpoint: classification of
// replies, retries with their back-off, downloads, invalidation, and the URL builder's escaping.
#include "crash/manager/CRWBaseNetworkClient.h"
#include "crash/manager/CRWNetworkResponseHandler.h"
#include "crash/manager/CRWURLBuilder.h"
#include "platform/net/URLError.h"
#include "standin/StandinServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

namespace {

struct Outcome {
    std::optional<plat::Data> data;
    std::optional<plat::HTTPURLResponse> response;
    std::optional<plat::Error> error;
};

class NetworkClientTest : public ::testing::Test {
protected:
    void SetUp() override { server.start(); }

    std::string settingsURL() const {
        return "http://127.0.0.1:" + std::to_string(server.port()) +
               "/settings/v1/platforms/mac/apps/1:2:mac:3/settings";
    }
    plat::URLRequest jsonRequest() const {
        plat::URLRequest request(settingsURL(), 10.0);
        request.setValue("application/json", "Accept");
        return request;
    }
    Outcome fetch(const plat::URLRequest& request, int retryLimit) {
        std::promise<Outcome> done;
        client->startDataTaskWithRequest(request, retryLimit, [&](auto data, auto response, auto error) {
            done.set_value(Outcome{std::move(data), std::move(response), std::move(error)});
        });
        auto future = done.get_future();
        EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        return future.get();
    }

    testsupport::TempHome home;
    standin::StandinServer server;
    std::shared_ptr<CRWBaseNetworkClient> client = std::make_shared<CRWBaseNetworkClient>();
};

TEST_F(NetworkClientTest, ClassifiesRepliesIntoTheNetworkErrors) {
    Outcome ok = fetch(jsonRequest(), 1);
    ASSERT_FALSE(ok.error);
    ASSERT_TRUE(ok.data);
    EXPECT_EQ(plat::toString(*ok.data), standin::CrashSettingsService::defaultDocument());

    server.crashSettings().setFault(standin::CrashSettingsFault::NotFound);
    Outcome notFound = fetch(jsonRequest(), 1);
    ASSERT_TRUE(notFound.error);
    EXPECT_EQ(notFound.error->domain, kCRWNetworkErrorDomain);
    EXPECT_EQ(notFound.error->code, CRWNetworkErrorInvalidRequest);
    EXPECT_EQ(notFound.error->userInfo.at("type").number().int64Value(), 2);
    EXPECT_EQ(notFound.error->userInfo.at("status_code").number().int64Value(), 404);
    EXPECT_EQ(notFound.error->userInfo.at("content_type").string(), "application/json");
    EXPECT_EQ(notFound.error->userInfo.at("request_id").string(), "");
    EXPECT_FALSE(notFound.data);
    // Answered at once: a 404 is not retried.
    EXPECT_EQ(server.crashSettings().requests().size(), 2u);

    // An HTML page where JSON was asked for is an error; without "Accept" anything goes.
    server.crashSettings().setFault(standin::CrashSettingsFault::NonJson);
    Outcome html = fetch(jsonRequest(), 1);
    ASSERT_TRUE(html.error);
    EXPECT_EQ(html.error->code, CRWNetworkErrorResponse);
    Outcome anything = fetch(plat::URLRequest(settingsURL(), 10.0), 1);
    EXPECT_FALSE(anything.error);
}

TEST_F(NetworkClientTest, RetriesAServerErrorAfterTheBackOffAndStopsAtTheLimit) {
    plat::ManualScheduler scheduler;
    client = std::make_shared<CRWBaseNetworkClient>(std::nullopt, scheduler);
    server.crashSettings().setFault(standin::CrashSettingsFault::ServerError);

    std::promise<Outcome> done;
    client->startDataTaskWithRequest(jsonRequest(), 1, [&](auto data, auto response, auto error) {
        done.set_value(Outcome{std::move(data), std::move(response), std::move(error)});
    });
    auto future = done.get_future();
    // The first 500 schedules one retry, which waits for the clock.
    testsupport::waitUntil([&] { return scheduler.pendingCount() != 0; });
    ASSERT_EQ(scheduler.pendingCount(), 1u);
    EXPECT_EQ(server.crashSettings().requests().size(), 1u);
    scheduler.advanceSeconds(1.7);
    EXPECT_EQ(scheduler.pendingCount(), 1u) << "retried before 0.9 x 2 seconds";
    scheduler.advanceSeconds(0.6);

    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    Outcome outcome = future.get();
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code, CRWNetworkErrorRetryLimit);
    EXPECT_EQ(outcome.error->userInfo.at("retryLimit").number().int64Value(), 1);
    EXPECT_EQ(outcome.error->userInfo.at(plat::URLError::kFailingURLStringKey).string(), settingsURL());
    EXPECT_EQ(server.crashSettings().requests().size(), 2u);
}

TEST_F(NetworkClientTest, ARetryThatSucceedsHandsOverTheSecondReply) {
    plat::ManualScheduler scheduler;
    client = std::make_shared<CRWBaseNetworkClient>(std::nullopt, scheduler);
    server.crashSettings().setFault(standin::CrashSettingsFault::ServerError);
    std::promise<Outcome> done;
    client->startDataTaskWithRequest(jsonRequest(), 1, [&](auto data, auto response, auto error) {
        done.set_value(Outcome{std::move(data), std::move(response), std::move(error)});
    });
    testsupport::waitUntil([&] { return scheduler.pendingCount() != 0; });
    server.crashSettings().setFault(std::nullopt);
    scheduler.advanceSeconds(2.3);
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    Outcome outcome = future.get();
    EXPECT_FALSE(outcome.error);
    ASSERT_TRUE(outcome.response);
    EXPECT_EQ(outcome.response->statusCode, 200);
}

TEST_F(NetworkClientTest, AnUnreachableHostIsRetryableAndInvalidationLeavesNoTask) {
    plat::URLRequest closed("http://127.0.0.1:9/settings", 5.0);
    Outcome outcome = fetch(closed, 0);
    ASSERT_TRUE(outcome.error);
    // Retryable, but the limit of 0 leaves no try.
    EXPECT_EQ(outcome.error->code, CRWNetworkErrorRetryLimit);

    client->invalidateAndCancel();
    Outcome none = fetch(jsonRequest(), 1);
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->domain, kCRWNetworkErrorDomain);
    EXPECT_EQ(none.error->code, CRWNetworkErrorNoTask);
    EXPECT_EQ(server.crashSettings().requests().size(), 0u);
}

TEST_F(NetworkClientTest, ADownloadHandsOverAFileThatIsGoneAfterTheCompletion) {
    std::promise<std::pair<std::string, std::string>> done;
    client->startDownloadTaskWithRequest(jsonRequest(), 1, [&](auto location, auto, auto error) {
        ASSERT_FALSE(error);
        ASSERT_TRUE(location);
        done.set_value({*location, testsupport::readFile(*location)});
    });
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    auto [location, contents] = future.get();
    EXPECT_EQ(contents, standin::CrashSettingsService::defaultDocument());
    testsupport::waitUntil([&] { return !std::filesystem::exists(location); });
    EXPECT_FALSE(std::filesystem::exists(location));
}

TEST(NetworkResponseHandlerTest, BackOffFollowsRetryAfterWithJitter) {
    plat::HTTPURLResponse unavailable{"http://x", 503, {{"Retry-After", "5"}}};
    plat::HTTPURLResponse tooMany{"http://x", 429, {}};
    plat::HTTPURLResponse negative{"http://x", 503, {{"Retry-After", "-3"}}};
    for (int i = 0; i < 200; ++i) {
        double fiveSeconds = CRWBaseNetworkClient::computeDelayForResponse(unavailable, 0);
        EXPECT_GE(fiveSeconds, 4.5 - 1e-6);
        EXPECT_LE(fiveSeconds, 5.5 + 1e-6);
        double twoSeconds = CRWBaseNetworkClient::computeDelayForResponse(tooMany, 0);
        EXPECT_GE(twoSeconds, 1.8 - 1e-6);
        EXPECT_LE(twoSeconds, 2.2 + 1e-6);
        double squared = CRWBaseNetworkClient::computeDelayForResponse(negative, 2);
        EXPECT_GE(squared, 3.6 - 1e-6);
        EXPECT_LE(squared, 4.4 + 1e-6);
    }
}

TEST(NetworkResponseHandlerTest, StatusesAndTransportErrorsAreSortedAsTheClientActsOnThem) {
    EXPECT_EQ(CRWNetworkResponseHandler::responseTypeForStatus(404), CRWNetworkClientResponseInvalid);
    EXPECT_EQ(CRWNetworkResponseHandler::responseTypeForStatus(429), CRWNetworkClientResponseRetry);
    EXPECT_EQ(CRWNetworkResponseHandler::responseTypeForStatus(408), CRWNetworkClientResponseBackOff);
    EXPECT_EQ(CRWNetworkResponseHandler::responseTypeForStatus(599), CRWNetworkClientResponseBackOff);
    EXPECT_EQ(CRWNetworkResponseHandler::responseTypeForStatus(304), CRWNetworkClientResponseSuccess);
    EXPECT_EQ(CRWNetworkResponseHandler::responseTypeForStatus(203), CRWNetworkClientResponseError);

    EXPECT_TRUE(CRWNetworkResponseHandler::retryableURLError(
        plat::URLError::make(plat::URLError::NotConnectedToInternet)));
    EXPECT_TRUE(CRWNetworkResponseHandler::retryableURLError(plat::Error(plat::URLError::kDomain, -1102)));
    EXPECT_FALSE(CRWNetworkResponseHandler::retryableURLError(plat::URLError::make(plat::URLError::BadURL)));
    EXPECT_FALSE(CRWNetworkResponseHandler::retryableURLError(plat::Error(plat::URLError::kDomain, -1203)));
    EXPECT_FALSE(CRWNetworkResponseHandler::retryableURLError(plat::Error("other", -1009)));

    plat::URLRequest request("http://x");
    request.setValue("application/json", "Accept");
    request.setValue("utf-8", "Accept-Charset");
    auto with = [](std::string type) {
        return plat::HTTPURLResponse{"http://x", 200, {{"Content-Type", type}}};
    };
    EXPECT_TRUE(
        CRWNetworkResponseHandler::contentTypeForResponse(with("Application/JSON; charset=UTF-8"), request));
    EXPECT_FALSE(
        CRWNetworkResponseHandler::contentTypeForResponse(with("application/json; charset=latin1"), request));
    EXPECT_FALSE(CRWNetworkResponseHandler::contentTypeForResponse(with("text/html"), request));
    EXPECT_FALSE(CRWNetworkResponseHandler::contentTypeForResponse(plat::HTTPURLResponse{"http://x", 200, {}},
                                                                   request));
}

TEST(URLBuilderTest, EscapesValuesSoTheyCannotBreakTheQuery) {
    CRWURLBuilder builder = CRWURLBuilder::URLWithBase("https://settings.example");
    builder.appendComponent("");
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent("1:2/3");
    builder.appendValue(plat::Object(), "none");
    EXPECT_EQ(builder.queryParams(), 0u);
    builder.appendValue("a b", "first");
    builder.appendValue(3, "n");
    builder.appendValue("x&y=z+w/v", "tricky");
    EXPECT_EQ(builder.URLString(),
              "https://settings.example/apps/1:2%2F3?first=a%20b&n=3&tricky=x%26y%3Dz%2Bw%2Fv");
    EXPECT_EQ(builder.queryParams(), 3u);
    ASSERT_TRUE(builder.URL());
}

} // namespace
