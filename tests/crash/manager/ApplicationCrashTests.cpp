// The application end to end: `velmora` runs headless against the stand-in, is killed with
// SIGSEGV, and its next launch uploads the crash report. The stored upload body is decoded here
// with a wire-format reader of its own, and the report's files must equal the crashed run's records.
#include "standin/StandinServer.h"
#include "tests/support/TestSupport.h"

#include "tests/crash/manager/WireFields.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <sys/wait.h>
#include <thread>
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

    pid_t launch(const std::string& logName) {
        pid_t pid = fork();
        if (pid == 0) {
            std::string log = (home.path() / logName).string();
            FILE* out = std::freopen(log.c_str(), "w", stdout);
            (void)out;
            dup2(fileno(stdout), fileno(stderr));
            unsetenv("DISPLAY");
            setenv("VELMORA_HOME", home.path().c_str(), 1);
            std::string base = "http://127.0.0.1:" + std::to_string(server.port());
            setenv("VELMORA_TESSERA_BASE", base.c_str(), 1);
            setenv("VELMORA_API_BASE", (base + "/api/").c_str(), 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            // The application's own bundle, not the test bundle of this binary's other tests.
            setenv("VELMORA_BUNDLE", VELMORA_RESOURCES_DIR, 1);
            execl(VELMORA_APP_BINARY, VELMORA_APP_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
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
    // Waits for `done`, at most `seconds`.
    template <typename F> static bool waitFor(F done, int seconds) {
        for (int i = 0; i < seconds * 20; ++i) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }

    testsupport::TempHome home;
    standin::StandinServer server;
};

TEST_F(ApplicationCrashTest, AKilledRunsReportIsUploadedByTheNextLaunch) {
    pid_t firstRun = launch("first.log");
    fs::path report;
    ASSERT_TRUE(waitFor(
        [&] {
            fs::path active = activeFolder();
            std::error_code ignored;
            if (active.empty()) return false;
            for (const auto& entry : fs::directory_iterator(active, ignored))
                if (fs::exists(entry.path() / "metadata.crwrecord")) report = entry.path();
            return !report.empty();
        },
        60))
        << testsupport::readFile(home.path() / "first.log");
    // Past the first run-loop turn, so the next launch sends without waiting on the transport.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    int status = stop(firstRun, SIGSEGV);
    // Under the address sanitizer the chained handler ends the process with an exit status instead.
    ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) != 0);
    ASSERT_TRUE(fs::exists(report / "signal.crwrecord")) << testsupport::readFile(home.path() / "first.log");
    std::map<std::string, std::string> records;
    for (const auto& entry : fs::directory_iterator(report))
        if (entry.path().extension() == ".crwrecord")
            records[entry.path().filename()] = testsupport::readFile(entry);

    pid_t second = launch("second.log");
    bool uploaded = waitFor(
        [&] {
            for (const auto& record : server.uploads().records())
                if (record.target == 1002 && record.status == 200) return true;
            return false;
        },
        90);
    stop(second, SIGTERM);
    ASSERT_TRUE(uploaded) << testsupport::readFile(home.path() / "second.log");
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

} // namespace
