#include "heartbeat/FileStorage.h"
#include "heartbeat/HeartbeatController.h"
#include "heartbeat/HeartbeatStorage.h"
#include "heartbeat/TSRHeartbeatController.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/Paths.h"
#include "tests/heartbeat/HeartbeatTestDates.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace heartbeat;
namespace fs = std::filesystem;

namespace {

fs::path storageFile(const std::string& id) {
    return plat::paths::applicationSupportDir() / "tessera-heartbeat-storage" / FileStorage::fileName(id);
}

// A controller for a fresh id on the shared storage, with its clock under the test's control.
struct ControllerFixture {
    explicit ControllerFixture(std::string id, plat::Date start)
        : id(std::move(id)), clock(start), controller(this->id, [this] { return clock.wallNow(); }) {}
    std::string id;
    plat::ManualClock clock;
    HeartbeatController controller;
};

std::vector<plat::Date> flushedDates(HeartbeatController& controller) {
    std::vector<plat::Date> dates;
    for (const auto& entry : controller.flush().userAgentPayloads)
        dates.insert(dates.end(), entry.dates.begin(), entry.dates.end());
    return dates;
}

// Returns once every task queued so far on the id's storage queue has run.
void waitForStorage(const std::string& id) {
    HeartbeatStorage::getInstance(id)->readAndWriteSync([](auto stored) { return stored; });
}

// Runs a scope with the effective user switched away from root, so that file permissions apply
// to this process the way they do for a normal user. Without root it does nothing.
class UnprivilegedScope {
public:
    UnprivilegedScope() : switched_(geteuid() == 0 && seteuid(65534) == 0) {}
    ~UnprivilegedScope() {
        if (switched_) {
            EXPECT_EQ(seteuid(0), 0);
        }
    }

private:
    bool switched_;
};

} // namespace

TEST(HeartbeatController, OneHeartbeatPerUTCDay) {
    testsupport::TempHome home;
    ControllerFixture f("1:1:ios:days", utcDate(2026, 5, 10, 23, 59));
    f.controller.log("agent-a");
    f.controller.log("agent-b"); // same day, other agent: nothing new
    f.clock.setWallNow(utcDate(2026, 5, 11, 0, 1));
    f.controller.log("agent-a");
    EXPECT_EQ(flushedDates(f.controller),
              (std::vector<plat::Date>{utcDate(2026, 5, 10), utcDate(2026, 5, 11)}));

    // After a gap the one new heartbeat carries the later day.
    f.clock.setWallNow(utcDate(2026, 5, 20, 15, 30));
    f.controller.log("agent-a");
    f.controller.log("agent-a");
    EXPECT_EQ(flushedDates(f.controller), (std::vector<plat::Date>{utcDate(2026, 5, 20)}));
}

TEST(HeartbeatController, DatesAreMidnightUTC) {
    // 01:00 at UTC+3 is 22:00 UTC the day before.
    plat::Date oneAmPlusThree = plat::Date{utcDate(2026, 7, 2, 1, 0).secondsSince1970 - 3 * 3600};
    EXPECT_EQ(HeartbeatController::standardize(oneAmPlusThree), utcDate(2026, 7, 1));
    EXPECT_EQ(HeartbeatController::standardize(utcDate(1969, 12, 31, 23, 59)), utcDate(1969, 12, 31));
    EXPECT_EQ(HeartbeatController::standardize(utcDate(2026, 7, 1)), utcDate(2026, 7, 1));
}

TEST(HeartbeatController, FlushTakesEverythingButKeepsTheDayUsed) {
    testsupport::TempHome home;
    ControllerFixture f("1:1:ios:flush", utcDate(2026, 6, 1, 9));
    EXPECT_TRUE(f.controller.flush().isEmpty());
    ASSERT_TRUE(fs::exists(storageFile(f.id)));
    EXPECT_EQ(fs::file_size(storageFile(f.id)), 0u);

    f.controller.log("agent");
    HeartbeatsPayload payload = f.controller.flush();
    EXPECT_EQ(payload, HeartbeatsPayload({{"agent", {utcDate(2026, 6, 1)}}}, 2));
    EXPECT_TRUE(f.controller.flush().isEmpty());
    f.controller.log("agent");
    EXPECT_TRUE(f.controller.flush().isEmpty());
}

TEST(HeartbeatController, FlushHeartbeatFromTodayTakesOnlyToday) {
    testsupport::TempHome home;
    ControllerFixture f("1:1:ios:today", utcDate(2026, 6, 1, 9));
    f.controller.log("yesterday-agent");
    f.clock.setWallNow(utcDate(2026, 6, 2, 9));
    EXPECT_TRUE(f.controller.flushHeartbeatFromToday().isEmpty()); // only an earlier day is stored

    f.controller.log("today-agent");
    EXPECT_EQ(f.controller.flushHeartbeatFromToday(),
              HeartbeatsPayload({{"today-agent", {utcDate(2026, 6, 2)}}}, 2));
    EXPECT_TRUE(f.controller.flushHeartbeatFromToday().isEmpty());
    f.controller.log("today-agent"); // the day stays used
    EXPECT_EQ(f.controller.flush(), HeartbeatsPayload({{"yesterday-agent", {utcDate(2026, 6, 1)}}}, 2));
}

TEST(HeartbeatController, ConcurrentLogsOnOneDayStoreOne) {
    testsupport::TempHome home;
    ControllerFixture f("1:1:ios:concurrent", utcDate(2026, 8, 8, 8));
    std::vector<std::thread> threads;
    for (int i = 0; i < 100; ++i)
        threads.emplace_back([&, i] { f.controller.log("agent-" + std::to_string(i % 7)); });
    for (auto& t : threads)
        t.join();
    HeartbeatsPayload payload = f.controller.flush();
    ASSERT_EQ(payload.userAgentPayloads.size(), 1u);
    EXPECT_EQ(payload.userAgentPayloads[0].dates, (std::vector<plat::Date>{utcDate(2026, 8, 8)}));
}

TEST(HeartbeatController, HeaderValueDecodesWithPython) {
    testsupport::TempHome home;
    ControllerFixture f("1:1:ios:python", utcDate(2026, 12, 6, 3));
    f.controller.log("tessera-core/3.2.0 apple-platform/macos");
    std::string header = f.controller.flush().headerValue();
    const std::string script =
        "import base64,gzip,json,sys; h=sys.argv[1]; "
        "d=base64.urlsafe_b64decode(h+\"=\"*(-len(h)%4)); print(json.dumps(json.loads(gzip.decompress(d))))";
    int status = -1;
    std::string out = testsupport::runCommand("python3 -c '" + script + "' " + header, &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(
        plat::JSONSerialization::jsonObject(out),
        plat::JSONSerialization::jsonObject(
            R"({"heartbeats":[{"agent":"tessera-core/3.2.0 apple-platform/macos","dates":["2026-12-06"]}],"version":2})"));
}

TEST(HeartbeatController, ReadOnlyFolderFlushAnswersEmptyAndKeepsTheFile) {
    testsupport::TempHome home;
    ControllerFixture f("1:1:ios:readonly", utcDate(2026, 9, 9, 9));
    f.controller.log("agent");
    waitForStorage(f.id);
    const fs::path folder = storageFile(f.id).parent_path();
    const std::string before = testsupport::readFile(storageFile(f.id));
    ASSERT_FALSE(before.empty());
    // Everyone may read the way down to the file; nobody but root may write the folder.
    for (fs::path p = folder; p != home.path().parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms(0755));
    fs::permissions(folder, fs::perms(0555));
    {
        UnprivilegedScope unprivileged;
        EXPECT_TRUE(f.controller.flush().isEmpty());
        std::atomic<int> calls{0};
        f.controller.flushAsync([&](HeartbeatsPayload payload) {
            EXPECT_TRUE(payload.isEmpty());
            ++calls;
        });
        waitForStorage(f.id);
        EXPECT_EQ(calls.load(), 1);
    }
    EXPECT_EQ(testsupport::readFile(storageFile(f.id)), before);
    fs::permissions(folder, fs::perms(0755));
    // Once writable again, the kept heartbeat goes out with the next flush.
    EXPECT_EQ(f.controller.flush(), HeartbeatsPayload({{"agent", {utcDate(2026, 9, 9)}}}, 2));
}

TEST(TSRHeartbeatController, TwoHandlesOfOneIdShareTheStoredBundle) {
    testsupport::TempHome home;
    TSRHeartbeatController first("1:1:ios:bridge");
    TSRHeartbeatController second("1:1:ios:bridge");
    EXPECT_TRUE(second.flush().isEmpty());
    first.log("agent");
    TSRHeartbeatsPayload payload = second.flush();
    ASSERT_FALSE(payload.isEmpty());
    EXPECT_EQ(payload.heartbeatsPayload().userAgentPayloads[0].agent, "agent");
    EXPECT_EQ(payload.headerValue(), payload.heartbeatsPayload().headerValue());
}

TEST(TSRHeartbeatController, AsyncFlushCallsBackExactlyOnceEvenWhenSavingFails) {
    testsupport::TempHome home;
    const std::string id = "1:1:ios:bridge-fail";
    TSRHeartbeatController bridge(id);
    bridge.log("agent");
    waitForStorage(id);
    // A plain file where the folder should be: every write fails, even for root.
    fs::path folder = storageFile(id).parent_path();
    fs::rename(folder, home.path() / "aside");
    testsupport::writeFile(folder, "blocker");

    std::atomic<int> calls{0};
    std::atomic<bool> empty{false};
    auto storage = HeartbeatStorage::getInstance(id);
    bridge.flushAsync([&](TSRHeartbeatsPayload payload) {
        empty = payload.isEmpty();
        EXPECT_TRUE(storage->queue().isCurrent());
        ++calls;
    });
    waitForStorage(id);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(empty.load());
}
