// The application end to end: `velmora` runs headless against the stand-in, is killed with
// SIGSEGV (or ends on an exception that reaches its top level), and its next launch uploads the
// crash report. The stored upload body is decoded here
// with a wire-format reader of its own, and the report's files must equal the crashed run's records.
// With crash collection off, the report is kept until a launch with the developer's argument sends
// or deletes it.
#include "app/UnsentCrashReportsAction.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWFileRead.h"
#include "crash/report/CRWUserDefaults.h"
#include "platform/foundation/JSONSerialization.h"
#include "standin/StandinServer.h"
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"

#include "tests/crash/manager/WireFields.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using crashtest::lengthDelimitedFields;

std::string firstField(const std::multimap<uint32_t, std::string>& fields, uint32_t number) {
    auto it = fields.find(number);
    return it == fields.end() ? std::string() : it->second;
}

class ApplicationCrashTest : public ::testing::Test {
protected:
    void SetUp() override { server.start(); }

    pid_t launch(const std::string& logName, std::vector<std::string> arguments = {},
                 const std::map<std::string, std::string>& environment = {}) {
        arguments.insert(arguments.begin(), VELMORA_APP_BINARY);
        const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
        std::map<std::string, std::string> env{{"VELMORA_HOME", home.path().string()},
                                               {"VELMORA_TESSERA_BASE", base},
                                               {"VELMORA_API_BASE", base + "/api/"},
                                               {"ASAN_OPTIONS", "detect_leaks=0"},
                                               // The application's own bundle, not the test bundle
                                               // of this binary's other tests.
                                               {"VELMORA_BUNDLE", VELMORA_RESOURCES_DIR}};
        for (const auto& [name, value] : environment)
            env[name] = value;
        return testsupport::startProcess(arguments, env, home.path() / logName, {}, nullptr, {"DISPLAY"});
    }
    // Waits until the launch `pid`, which logs to `logName`, gets to `done`: as long as the launch
    // makes progress. Much of what is waited for here happens on the crash reporter's and the
    // transport's own threads while the main thread idles, hence the long allowance without it.
    ::testing::AssertionResult waitForRun(pid_t pid, const std::string& logName,
                                          const std::function<bool()>& done) {
        return testsupport::waitForLaunch(pid, done, {home.path() / logName},
                                          {.stall = std::chrono::seconds(120)});
    }
    static int stop(pid_t pid, int signal) {
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
    fs::path activeFolder() const {
        fs::path root = home.path() / "cache" / "com.crashwatch.data";
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored))
            if (entry.path().filename() == "active") return entry.path();
        return {};
    }
    // Runs the application until this run's report folder is set up and past the first run-loop
    // turn, then stops it with `signal` (SIGSEGV: a crash, SIGTERM: a clean end). The run's folder
    // and its record files; an empty path (after a test failure) when that did not work.
    fs::path stoppedRun(const std::string& logName, int signal = SIGSEGV,
                        std::map<std::string, std::string>* records = nullptr) {
        std::set<fs::path> before;
        if (fs::path active = activeFolder(); !active.empty())
            for (const auto& entry : fs::directory_iterator(active))
                before.insert(entry.path());
        pid_t pid = launch(logName);
        fs::path report;
        auto started = waitForRun(pid, logName, [&] {
            fs::path active = activeFolder();
            std::error_code ignored;
            if (active.empty()) return false;
            for (const auto& entry : fs::directory_iterator(active, ignored))
                if (!before.count(entry.path()) && fs::exists(entry.path() / "metadata.crwrecord"))
                    report = entry.path();
            return !report.empty();
        });
        // Past the first run-loop turn, so the next launch sends without waiting on the transport:
        // the run records the time of that turn among its internal keys.
        const std::string turnKey = CRWFileHexEncodeString("com.crashwatch.first-run-loop-time");
        if (started)
            started = waitForRun(pid, logName, [&] {
                for (const char* file :
                     {CRWReportInternalIncrementalKVFile, CRWReportInternalCompactedKVFile})
                    if (testsupport::readFile(report / file).find(turnKey) != std::string::npos) return true;
                return false;
            });
        int status = stop(pid, signal);
        if (!started) {
            ADD_FAILURE() << "the run set up no report, or did not get past its first run-loop turn: "
                          << started.message();
            return {};
        }
        if (signal == SIGSEGV) {
            // Under the address sanitizer the chained handler ends the process with an exit status.
            EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) != 0);
            if (!fs::exists(report / "signal.crwrecord")) {
                ADD_FAILURE() << "no crash recorded: " << testsupport::readFile(home.path() / logName);
                return {};
            }
        }
        if (records)
            for (const auto& entry : fs::directory_iterator(report))
                if (entry.path().extension() == ".crwrecord")
                    (*records)[entry.path().filename()] = testsupport::readFile(entry);
        return report;
    }
    // The bodies of the crash-report uploads the stand-in accepted.
    std::vector<std::string> crashUploadBodies() {
        std::vector<std::string> bodies;
        for (const auto& record : server.uploads().records())
            if (record.target == 1002 && record.status == 200) bodies.push_back(record.body);
        return bodies;
    }
    // Whether the transport still keeps a crash-report event or batch (target 1002) on disk. A
    // batch the stand-in has taken, but whose answer the run has not handled yet when it is stopped,
    // goes out again with the next run.
    bool transportHoldsCrashReports() const {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(home.path(), ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const fs::path& path = it->path();
            const fs::path folder = path.parent_path();
            if (folder.filename() == "ttr_batch_data" && path.filename().string().rfind("1002-", 0) == 0)
                return true;
            if (folder.filename() == "1002" && folder.parent_path().filename() == "ttr_event_data")
                return true;
        }
        return false;
    }
    // Whether the crash reporter still keeps the report folder `name` (active, in processing or
    // prepared for the transport).
    bool reporterHolds(const fs::path& name) const {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(home.path() / "cache" / "com.crashwatch.data", ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->path().filename() == name) return true;
        return false;
    }
    bool logContains(const std::string& logName, const std::string& text) const {
        return testsupport::readFile(home.path() / logName).find(text) != std::string::npos;
    }
    testsupport::TempHome home;
    standin::StandinServer server;
};

TEST_F(ApplicationCrashTest, AKilledRunsReportIsUploadedByTheNextLaunch) {
    std::map<std::string, std::string> records;
    fs::path report = stoppedRun("first.log", SIGSEGV, &records);
    ASSERT_FALSE(report.empty());

    pid_t second = launch("second.log");
    const auto uploaded = waitForRun(second, "second.log", [&] {
        for (const auto& record : server.uploads().records())
            if (record.target == 1002 && record.status == 200) return true;
        return false;
    });
    stop(second, SIGTERM);
    ASSERT_TRUE(uploaded);
    EXPECT_FALSE(fs::exists(report)) << "the sent report's folder is removed";

    std::string body;
    for (const auto& record : server.uploads().records())
        if (record.target == 1002) body = record.body;
    std::string logRequest = firstField(lengthDelimitedFields(body), 1);
    std::string logEvent = firstField(lengthDelimitedFields(logRequest), 3);
    auto payload = lengthDelimitedFields(firstField(lengthDelimitedFields(logEvent), 6));
    std::map<std::string, std::string> files;
    for (const auto& [number, file] : lengthDelimitedFields(firstField(payload, 10))) {
        if (number != 1) continue;
        auto parts = lengthDelimitedFields(file);
        files[firstField(parts, 1)] = firstField(parts, 2);
    }
    ASSERT_FALSE(records.empty());
    for (const auto& [name, contents] : records) {
        ASSERT_TRUE(files.count(name)) << name << " is missing from the payload";
        EXPECT_EQ(files[name], contents) << name;
    }
    EXPECT_TRUE(files.count("signal.crwrecord.symbolicated")) << "processed before it was sent";

    auto installations = server.installations().all();
    ASSERT_EQ(installations.size(), 1u);
    EXPECT_EQ(firstField(payload, 16), installations[0].tid);
    ASSERT_FALSE(installations[0].authTokens.empty());
    EXPECT_EQ(firstField(payload, 19), installations[0].authTokens.back());
}

TEST_F(ApplicationCrashTest, WithCollectionOffAReportIsKeptUntilTheHostSendsOrDeletesIt) {
    // The crash reporter's stored switch says no, as a user who declined would have it.
    CRWUserDefaults stored(home.path() / "data" / "io.velmora.mac" / "com.crashwatch");
    stored.setInteger(2, CRWDataCollectionKey);
    stored.synchronize();

    std::map<std::string, std::string> records;
    fs::path report = stoppedRun("crash-1.log", SIGSEGV, &records);
    ASSERT_FALSE(report.empty());

    // A plain launch (ended cleanly) leaves the crashed run's report alone.
    ASSERT_FALSE(stoppedRun("plain.log", SIGTERM).empty());
    EXPECT_TRUE(fs::exists(report / "signal.crwrecord"));
    EXPECT_TRUE(crashUploadBodies().empty()) << testsupport::readFile(home.path() / "plain.log");

    // Asked to send, the next launch hands over the kept report and uploads it.
    pid_t send = launch("send.log", {kSendUnsentCrashReportsArgument});
    const auto uploaded = waitForRun(send, "send.log", [&] { return !crashUploadBodies().empty(); });
    // Stopped once it is done with the upload, so that nothing of it is left to go out again.
    const auto settled =
        uploaded ? waitForRun(send, "send.log", [&] { return !transportHoldsCrashReports(); }) : uploaded;
    stop(send, SIGTERM);
    ASSERT_TRUE(uploaded);
    EXPECT_TRUE(settled) << "the transport still holds the sent report";
    EXPECT_TRUE(
        logContains("send.log", "Unsent crash report: " + std::string(report.filename()) + " (crash)"))
        << testsupport::readFile(home.path() / "send.log");
    EXPECT_TRUE(logContains("send.log", "Sending unsent crash reports"));
    EXPECT_FALSE(fs::exists(report));
    bool found = false;
    for (const std::string& body : crashUploadBodies())
        for (auto& files : crashtest::uploadedReportFiles(body)) {
            if (files["metadata.crwrecord"] != records["metadata.crwrecord"]) continue;
            found = true;
            for (const auto& [name, contents] : records)
                EXPECT_EQ(files[name], contents) << name;
            EXPECT_TRUE(files.count("signal.crwrecord.symbolicated")) << "processed before it was sent";
        }
    EXPECT_TRUE(found) << "the first crash's report is among the uploads";

    // Asked to delete, a launch after another crash removes that report unsent.
    std::map<std::string, std::string> againRecords;
    fs::path again = stoppedRun("crash-2.log", SIGSEGV, &againRecords);
    ASSERT_FALSE(again.empty());
    pid_t remove = launch("delete.log", {kDeleteUnsentCrashReportsArgument});
    // Once the launch says it is done, everything the action scheduled has run: a report it sent
    // instead is in the crash reporter's folders, in the transport or at the stand-in. The launch is
    // stopped when neither of the first two holds it, so such an upload is counted below.
    const auto handled = waitForRun(remove, "delete.log", [&] {
        return logContains("delete.log", "Unsent crash reports deleted") &&
               !reporterHolds(again.filename()) && !transportHoldsCrashReports();
    });
    stop(remove, SIGTERM);
    ASSERT_TRUE(handled) << "reporter holds the report: " << reporterHolds(again.filename())
                         << ", transport holds a crash report: " << transportHoldsCrashReports();
    EXPECT_TRUE(
        logContains("delete.log", "Unsent crash report: " + std::string(again.filename()) + " (crash)"))
        << testsupport::readFile(home.path() / "delete.log");
    EXPECT_TRUE(logContains("delete.log", "Deleting unsent crash reports"));
    // Across the launches each report, known by its metadata record, went out at most once: the
    // first one exactly once, the deleted one never.
    std::map<std::string, int> uploadsOfReport;
    for (const std::string& body : crashUploadBodies())
        for (auto& files : crashtest::uploadedReportFiles(body))
            ++uploadsOfReport[files["metadata.crwrecord"]];
    for (const auto& [metadata, count] : uploadsOfReport)
        EXPECT_LE(count, 1) << "a report went out " << count << " times: " << metadata;
    EXPECT_EQ(uploadsOfReport.count(records["metadata.crwrecord"]), 1u);
    EXPECT_EQ(uploadsOfReport.count(againRecords["metadata.crwrecord"]), 0u) << "the deleted report was sent";
}

// One JSON object per line of a record file.
std::vector<plat::Object> recordSections(const std::string& contents) {
    std::vector<plat::Object> sections;
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        if (end > start)
            sections.push_back(plat::JSONSerialization::jsonObject(contents.substr(start, end - start)));
        start = end + 1;
    }
    return sections;
}

TEST_F(ApplicationCrashTest, AnExceptionReportedThroughTheApplicationObjectReachesTheNextUpload) {
    pid_t firstRun = launch("first.log", {}, {{"VELMORA_TEST_RAISE_EXCEPTION", "1"}});
    // The application raises once crash capture is up, and ends itself.
    int status = 0;
    const auto ended =
        waitForRun(firstRun, "first.log", [&] { return waitpid(firstRun, &status, WNOHANG) == firstRun; });
    if (!ended) stop(firstRun, SIGKILL);
    const std::string firstLog = testsupport::readFile(home.path() / "first.log");
    ASSERT_TRUE(ended);
    // Under the address sanitizer the chained handler ends the process with an exit status instead.
    ASSERT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) ||
                (WIFEXITED(status) && WEXITSTATUS(status) != 0))
        << firstLog;
    std::map<std::string, std::string> records;
    std::error_code ignored;
    for (const auto& folder : fs::directory_iterator(activeFolder(), ignored))
        for (const auto& entry : fs::directory_iterator(folder.path()))
            if (entry.path().extension() == ".crwrecord")
                records[entry.path().filename()] = testsupport::readFile(entry);
    ASSERT_TRUE(records.count("exception.crwrecord")) << firstLog;
    ASSERT_TRUE(records.count("signal.crwrecord")) << "the abort that follows is recorded too";

    // The record: the runtime's exception as the application object reported it, with the stack
    // of the raise as frames, the raise and its callers in the application's image.
    const std::vector<plat::Object> sections = recordSections(records["exception.crwrecord"]);
    ASSERT_FALSE(sections.empty());
    const plat::Object& exception = sections.front()["exception"];
    EXPECT_EQ(exception["type"].string(), "objective-c");
    EXPECT_EQ(CRWFileHexDecodeString(exception["name"].string()), "NSInvalidArgumentException");
    EXPECT_NE(CRWFileHexDecodeString(exception["reason"].string())
                  .value_or("")
                  .find("velmoraTestMessageNobodyAnswers"),
              std::string::npos);
    ASSERT_FALSE(exception["frames"].array().empty());
    size_t inVelmora = 0;
    for (const plat::Object& image : recordSections(records["binary_images.crwrecord"])) {
        const plat::Object& load = image["load"];
        if (load.isAbsent() || load["path"].asString() == nullptr) continue;
        if (fs::path(load["path"].string()).filename() != "velmora") continue;
        const uint64_t base = load["base"].number().uint64Value();
        const uint64_t size = load["size"].number().uint64Value();
        for (const plat::Object& frame : exception["frames"].array()) {
            const uint64_t pc = frame["pc"].number().uint64Value();
            if (pc >= base && pc < base + size) ++inVelmora;
        }
    }
    EXPECT_GE(inVelmora, 2u);
    for (const plat::Object& section : sections) {
        if (section["exception"].isAbsent()) continue;
        EXPECT_NE(section["exception"]["type"].string(), "c++")
            << "the terminate handler leaves the runtime's exception to the application object";
    }

    pid_t second = launch("second.log");
    const auto uploaded = waitForRun(second, "second.log", [&] { return !crashUploadBodies().empty(); });
    stop(second, SIGTERM);
    ASSERT_TRUE(uploaded);
    bool found = false;
    for (const std::string& body : crashUploadBodies())
        for (auto& files : crashtest::uploadedReportFiles(body)) {
            if (!files.count("exception.crwrecord")) continue;
            found = true;
            EXPECT_EQ(files["exception.crwrecord"], records["exception.crwrecord"]);
            EXPECT_TRUE(files.count("exception.crwrecord.symbolicated")) << "processed before it was sent";
        }
    EXPECT_TRUE(found) << "the report of the exception was sent";
}

} // namespace
