// The updater: the can-check state through a check, the no-feed path, feed outcomes, the two
// automatic settings and scheduled checks on a manual clock.
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/updater/SPUStandardUpdaterController.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

namespace {

using plat::SPUUpdater;
using plat::URL;

class UpdaterTest : public ::testing::Test {
protected:
    void TearDown() override { plat::RunLoop::main().drain(); }

    // A configured updater whose feed requests are held until the test answers them.
    std::shared_ptr<SPUUpdater> makeUpdater(bool withFeed, std::string version = "1.0.0") {
        SPUUpdater::Configuration c;
        c.currentVersion = std::move(version);
        if (withFeed) c.feedURL = URL::string("http://127.0.0.1:9/feed.json");
        c.defaults = defaults.get();
        c.scheduler = &scheduler;
        c.fetcher = [this](const URL& url, plat::SPUUpdateFeed::Completion completion) {
            fetched.push_back(url.absoluteString());
            pending = std::move(completion);
        };
        c.showMessage = [this](const std::string& m) { shown.push_back(m); };
        return SPUUpdater::make(std::move(c));
    }
    void answer(std::optional<std::string> body, std::optional<std::string> error = std::nullopt) {
        ASSERT_TRUE(pending);
        auto completion = std::exchange(pending, nullptr);
        completion(std::move(body), std::move(error));
    }

    std::shared_ptr<plat::UserDefaults> defaults = plat::UserDefaults::inMemory();
    plat::ManualScheduler scheduler;
    std::vector<std::string> fetched;
    std::vector<std::string> shown;
    plat::SPUUpdateFeed::Completion pending;
};

TEST_F(UpdaterTest, CanCheckFollowsStartAndEveryCheckWithInitialValueFirst) {
    auto updater = makeUpdater(true);
    std::vector<bool> seen;
    auto sub = updater->canCheckForUpdates().sink([&](const bool& v) { seen.push_back(v); });
    updater->checkForUpdates(); // not started: refused
    EXPECT_TRUE(fetched.empty());

    plat::SPUStandardUpdaterController controller(updater, true);
    EXPECT_EQ(controller.updater(), updater);
    controller.checkForUpdates();
    EXPECT_TRUE(updater->sessionInProgress());
    updater->checkForUpdates(); // one at a time
    EXPECT_EQ(fetched.size(), 1u);
    answer(R"({"version": "1.0.0"})");
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false, true}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("up to date"), std::string::npos) << shown[0];
    EXPECT_TRUE(updater->lastUpdateCheckDate().has_value());
}

TEST_F(UpdaterTest, WithoutAFeedACheckEndsOnTheNextTurnWithAClearMessageAndNoRequest) {
    auto updater = makeUpdater(false);
    updater->startUpdater();
    updater->checkForUpdates();
    EXPECT_FALSE(updater->canCheckForUpdates().get());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(plat::RunLoop::main().drain(), 1u);
    EXPECT_TRUE(fetched.empty());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Velmora cannot check for updates: no update feed is configured.");
    EXPECT_TRUE(updater->canCheckForUpdates().get());
    // Background checks without a feed are skipped outright, even with automatic checking on.
    updater->setAutomaticallyChecksForUpdates(true);
    updater->checkForUpdatesInBackground();
    EXPECT_TRUE(updater->canCheckForUpdates().get());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST_F(UpdaterTest, FeedOutcomesAreReportedByKind) {
    auto updater = makeUpdater(true, "1.9.0");
    updater->startUpdater();
    updater->checkForUpdates();
    answer(R"({"version": "1.10.0", "url": "https://127.0.0.1/velmora-1.10.0.tar.gz"})");
    updater->checkForUpdates();
    answer(R"({"version": "1.10.0", "url": "file:///etc/passwd"})");
    updater->checkForUpdates();
    answer(R"(["not", "a feed"])");
    updater->checkForUpdates();
    answer(std::nullopt, "could not connect to the server");
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "A new version of Velmora is available: 1.10.0 (you have 1.9.0). Download it from "
                        "https://127.0.0.1/velmora-1.10.0.tar.gz.");
    EXPECT_EQ(shown[1], "A new version of Velmora is available: 1.10.0 (you have 1.9.0).");
    EXPECT_EQ(shown[2], "Velmora cannot check for updates: the update feed is not a JSON object.");
    EXPECT_EQ(shown[3], "Velmora cannot check for updates: could not connect to the server.");
    EXPECT_TRUE(updater->canCheckForUpdates().get());
}

TEST_F(UpdaterTest, AutomaticSettingsPersistIndependentlyAndDriveScheduledChecks) {
    auto updater = makeUpdater(true);
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
    EXPECT_FALSE(updater->automaticallyDownloadsUpdates());
    updater->setAutomaticallyDownloadsUpdates(true);
    updater->setAutomaticallyChecksForUpdates(true);
    updater->setAutomaticallyChecksForUpdates(false);
    EXPECT_TRUE(updater->automaticallyDownloadsUpdates()) << "turning checks off leaves downloads alone";
    EXPECT_TRUE(defaults->boolean(SPUUpdater::kAutomaticallyDownloadsKey));

    // Scheduled checks run only while started with checking on, one interval apart.
    updater->setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "not started yet";
    updater->startUpdater();
    EXPECT_EQ(scheduler.pendingCount(), 1u);
    scheduler.advance(std::chrono::hours(23));
    plat::RunLoop::main().drain();
    EXPECT_TRUE(fetched.empty());
    scheduler.advance(std::chrono::hours(1));
    plat::RunLoop::main().drain();
    ASSERT_EQ(fetched.size(), 1u);
    answer(R"({"version": "1.0.0"})");
    EXPECT_TRUE(shown.empty()) << "a scheduled check that finds nothing stays quiet";
    EXPECT_EQ(scheduler.pendingCount(), 1u);
    scheduler.advance(std::chrono::hours(24));
    plat::RunLoop::main().drain();
    answer(R"({"version": "2.0.0"})");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("2.0.0"), std::string::npos);

    updater->setAutomaticallyChecksForUpdates(false);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST_F(UpdaterTest, AnUpdaterGoneBeforeItsAnswerIgnoresIt) {
    auto updater = makeUpdater(true);
    updater->startUpdater();
    updater->checkForUpdates();
    updater.reset();
    answer(R"({"version": "9.0.0"})");
    EXPECT_TRUE(shown.empty());
}

TEST(UpdateFeedTest, VersionsCompareNumberByNumber) {
    using plat::SPUUpdateFeed;
    EXPECT_GT(SPUUpdateFeed::compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(SPUUpdateFeed::compareVersions("1.0", "1.0.0"), 0);
    EXPECT_LT(SPUUpdateFeed::compareVersions("1.0.0", "1.0.1"), 0);
    EXPECT_EQ(SPUUpdateFeed::compareVersions("2.0b3", "2.0"), 0);
    EXPECT_GT(SPUUpdateFeed::compareVersions("99999999999999999999999.1", "1"), 0);
    std::string error;
    EXPECT_FALSE(SPUUpdateFeed::parse(R"({"version": ""})", &error));
    EXPECT_EQ(error, "the update feed names no version");
    EXPECT_FALSE(SPUUpdateFeed::parse("{\"version\": 1.2}"));
    EXPECT_FALSE(SPUUpdateFeed::parse("{trunc"));
}

TEST(UpdateFeedTest, HttpFetcherReportsAnUnreachableServerOnTheMainQueue) {
    std::optional<std::string> body, error;
    bool done = false;
    plat::SPUUpdateFeed::httpFetcher()(*URL::string("http://127.0.0.1:1/feed.json"),
                                       [&](std::optional<std::string> b, std::optional<std::string> e) {
                                           EXPECT_TRUE(plat::isMainThread());
                                           body = b;
                                           error = e;
                                           done = true;
                                       });
    ASSERT_TRUE(plat::RunLoop::main().runUntil([&] { return done; }, testsupport::kPatience));
    EXPECT_FALSE(body);
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->empty());
}

TEST(UpdaterConfigurationTest, ReadsNameVersionAndOnlyAWebFeedFromTheBundle) {
    testsupport::TempHome home;
    auto write = [&](const std::string& dir, const std::string& feed) {
        testsupport::writeFile(home.path() / dir / "Info.plist",
                               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                               "<key>CFBundleName</key><string>Velmora</string>"
                               "<key>CFBundleShortVersionString</key><string>1.2.3</string>" +
                                   feed + "</dict></plist>\n");
        return home.path() / dir;
    };
    plat::Bundle none(write("none", ""));
    auto c = SPUUpdater::configurationFromBundle(none);
    EXPECT_EQ(c.applicationName, "Velmora");
    EXPECT_EQ(c.currentVersion, "1.2.3");
    EXPECT_FALSE(c.feedURL);
    plat::Bundle local(
        write("local", "<key>VelmoraUpdateFeedURL</key><string>file:///tmp/feed.json</string>"));
    EXPECT_FALSE(SPUUpdater::configurationFromBundle(local).feedURL);
    plat::Bundle web(
        write("web", "<key>VelmoraUpdateFeedURL</key><string>https://127.0.0.1/feed.json</string>"));
    ASSERT_TRUE(SPUUpdater::configurationFromBundle(web).feedURL);
}

} // namespace
