// The built `velmora` with its windows on a display, signed in against the stand-in through its
// tour, is killed with SIGSEGV; the next launch uploads the report. The crashed run's memory map is
// taken just before the kill, so the report can be held against what the process really had
// loaded: every file it had mapped executable (its own code, the C++ and GL libraries, the GL
// driver and the compiler library the driver loads at run time) must be a loaded image in the
// uploaded binary image records. The upload is decoded twice, with the crash tests' wire reader
// and by `protoc` with the report's .proto, and both must give the same files.
#include "crash/record/CRWFileRead.h"
#include "standin/StandinServer.h"
#include "tests/crash/manager/WireFields.h"
#include "tests/render/XServer.h"
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using crashtest::lengthDelimitedFields;

// The text of a `bytes` field as protoc prints it, between its quotes, unescaped.
std::string unescapeProtocText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next >= '0' && next <= '7') {
            int value = 0;
            for (int digits = 0; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++digits)
                value = value * 8 + (text[i++] - '0');
            --i;
            out += static_cast<char>(value);
        } else {
            static const std::map<char, char> named{{'n', '\n'}, {'r', '\r'}, {'t', '\t'}};
            auto found = named.find(next);
            out += found == named.end() ? next : found->second;
        }
    }
    return out;
}

// The files of a crash report (tessera.crashwatch.Report) as `protoc --decode` prints them.
std::map<std::string, std::string> filesFromProtoc(const std::string& report) {
    const std::string text = testsupport::protocDecode(report, "tessera.crashwatch.Report",
                                                       "crash/report/proto", "crw_report.proto");
    std::map<std::string, std::string> files;
    std::istringstream lines(text);
    std::string name;
    for (std::string line; std::getline(lines, line);) {
        const size_t quote = line.find('"');
        if (quote == std::string::npos || line.size() < quote + 2) continue;
        const std::string value = unescapeProtocText(line.substr(quote + 1, line.size() - quote - 2));
        if (line.find("filename:") != std::string::npos) name = value;
        if (line.find("contents:") != std::string::npos) files[name] = value;
    }
    return files;
}

// The bytes of the first crash report in an upload body (a batched log request), for protoc.
std::string reportOfUpload(const std::string& body) {
    auto first = [](const std::string& message, uint32_t number) {
        const auto fields = lengthDelimitedFields(message);
        const auto found = fields.find(number);
        return found == fields.end() ? std::string() : found->second;
    };
    return first(first(first(body, 1), 3), 6);
}

// The record file's sections, read by the crash reporter's own reader.
plat::Object::Array sectionsOf(const std::string& contents) {
    testsupport::TempHome scratch;
    const fs::path file = scratch.path() / "record.crwrecord";
    testsupport::writeFile(file, contents);
    return CRWFileReadSections(file.c_str(), false).value_or(plat::Object::Array{});
}

std::string canonical(const std::string& path) {
    std::error_code ignored;
    const fs::path resolved = fs::weakly_canonical(path, ignored);
    return resolved.empty() ? path : resolved.string();
}

// The files the process had mapped executable, by canonical path. Anonymous memory and memory
// files (shared-memory objects and memfd, "(deleted)" once unlinked) are no loaded images.
std::set<std::string> codeObjectsOfMaps(const std::string& maps) {
    std::set<std::string> objects;
    std::istringstream lines(maps);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string range, permissions, offset, device, inode, path;
        words >> range >> permissions >> offset >> device >> inode;
        std::getline(words >> std::ws, path);
        if (permissions.size() < 3 || permissions[2] != 'x' || path.empty() || path[0] != '/') continue;
        if (path.rfind("/memfd:", 0) == 0 || path.rfind("/dev/", 0) == 0 ||
            path.find(" (deleted)") != std::string::npos)
            continue;
        objects.insert(canonical(path));
    }
    return objects;
}

// The images loaded when the process died: each "load" line adds its path at its base, each
// "unload" line removes what its base held.
std::set<std::string> loadedImagesOf(const plat::Object::Array& sections) {
    std::map<uint64_t, std::string> byBase;
    for (const plat::Object& section : sections) {
        if (const plat::Object& load = section["load"]; load.isDict())
            byBase[load["base"].number().uint64Value()] = load["path"].string();
        if (const plat::Object& unload = section["unload"]; unload.isDict())
            byBase.erase(unload["base"].number().uint64Value());
    }
    std::set<std::string> paths;
    for (const auto& [base, path] : byBase)
        paths.insert(canonical(path));
    return paths;
}

class WindowedApplicationCrash : public ::testing::Test {
protected:
    // What the crashed run was just before its kill, and the report its next launch uploaded;
    // each test holds one part of the report (the image records, the threads' records in
    // "signal.crwrecord") against it.
    struct CrashedRun {
        pid_t pid = -1;
        std::string maps;                               // /proc/PID/maps just before the kill
        std::vector<std::string> threads;               // /proc/PID/task just before the kill
        std::map<std::string, std::string> wireFiles;   // the uploaded report's files, wire reader
        std::map<std::string, std::string> protocFiles; // the same, as protoc decodes them
    };

    void SetUp() override {
        REQUIRE_DISPLAY();
        server.start();
    }

    // Starts the application with its output in `logName`; with `display`, on the display and in
    // its tour (which signs in), otherwise headless.
    pid_t launch(const std::string& logName, bool display) {
        std::vector<std::string> words{VELMORA_APP_BINARY};
        if (display) words.insert(words.end(), {"--tour", (home.path() / "shots").string()});
        const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
        std::map<std::string, std::string> env{
            {"VELMORA_HOME", home.path().string()},
            {"VELMORA_TESSERA_BASE", base},
            {"VELMORA_API_BASE", server.baseURL()},
            {"VELMORA_DEMO_EMAIL", standin::StandinServer::demoEmail()},
            {"VELMORA_DEMO_PASSWORD", standin::StandinServer::demoPassword()},
            {"VELMORA_BUNDLE", VELMORA_RESOURCES_DIR},
            // The tour's own limit for a step counts from the start for the login window, which a
            // crowded machine needs longer than the default to show: the test's wait is the bound.
            {"VELMORA_TOUR_STEP_SECONDS", "600"},
            {"ASAN_OPTIONS", "detect_leaks=0"}};
        return testsupport::startProcess(words, env, home.path() / logName, {}, nullptr,
                                         display ? std::set<std::string>{}
                                                 : std::set<std::string>{"DISPLAY"});
    }
    static int stop(pid_t pid, int signal) {
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }
    std::string log(const std::string& name) const { return testsupport::readFile(home.path() / name); }
    fs::path reportFolder() const {
        std::error_code ignored;
        for (const auto& entry :
             fs::recursive_directory_iterator(home.path() / "cache" / "com.crashwatch.data", ignored))
            if (entry.path().filename() == "metadata.crwrecord") return entry.path().parent_path();
        return {};
    }

    // Runs the windowed application until it is signed in, takes its memory map and thread list,
    // kills it with SIGSEGV, and lets a headless launch upload the report.
    void crashSignedInAndUpload(CrashedRun& run) {
        run.pid = launch("crashed.log", true);
        // The tour waits for the status line once the main window showed after the sign-in.
        const auto signedIn = testsupport::waitForLaunch(
            run.pid,
            [&] {
                return !reportFolder().empty() &&
                       log("crashed.log").find("Tour: waiting for the status") != std::string::npos;
            },
            {home.path() / "crashed.log"}, {.stall = std::chrono::seconds(120)});
        if (!signedIn) stop(run.pid, SIGKILL);
        ASSERT_TRUE(signedIn) << log("crashed.log");
        const fs::path proc = "/proc/" + std::to_string(run.pid);
        run.maps = testsupport::readFile(proc / "maps");
        std::error_code ignored;
        for (const auto& task : fs::directory_iterator(proc / "task", ignored))
            run.threads.push_back(task.path().filename());
        const int status = stop(run.pid, SIGSEGV);
        // Under the address sanitizer the chained handler ends the process with an exit status.
        ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) != 0) << log("crashed.log");
        ASSERT_FALSE(run.maps.empty());

        const pid_t next = launch("next.log", false);
        const auto uploaded = testsupport::waitForLaunch(
            next,
            [&] {
                for (const auto& record : server.uploads().records())
                    if (record.target == 1002 && record.status == 200) return true;
                return false;
            },
            {home.path() / "next.log"}, {.stall = std::chrono::seconds(120)});
        stop(next, SIGTERM);
        ASSERT_TRUE(uploaded) << log("next.log");
        std::string body;
        for (const auto& record : server.uploads().records())
            if (record.target == 1002 && record.status == 200) body = record.body;
        const auto reports = crashtest::uploadedReportFiles(body);
        ASSERT_EQ(reports.size(), 1u);
        run.wireFiles = reports[0];
        run.protocFiles = filesFromProtoc(reportOfUpload(body));
    }

    testsupport::TempHome home;
    standin::StandinServer server;
};

// One crash of the windowed application answers for both halves of the report that the desktop
// makes hard: the images its libraries load by themselves, and the threads they start.
TEST_F(WindowedApplicationCrash, TheUploadHoldsEveryCodeObjectAndEveryThreadOfTheCrashedRun) {
    CrashedRun run;
    ASSERT_NO_FATAL_FAILURE(crashSignedInAndUpload(run));
    ASSERT_TRUE(run.wireFiles.count("binary_images.crwrecord")) << "the report has no image records";
    EXPECT_EQ(run.wireFiles, run.protocFiles) << "the wire reader and protoc disagree";
    ASSERT_TRUE(run.wireFiles.count("signal.crwrecord"));

    const std::set<std::string> mapped = codeObjectsOfMaps(run.maps);
    const std::set<std::string> loaded =
        loadedImagesOf(sectionsOf(run.wireFiles.at("binary_images.crwrecord")));
    // The windowed path: the GL library, the driver that it loads itself and the driver's
    // compiler library were mapped (so the test looks at what it means to).
    for (const char* name : {"libGL", "_dri.so", "libLLVM"})
        EXPECT_TRUE(
            std::any_of(mapped.begin(), mapped.end(),
                        [&](const std::string& path) { return path.find(name) != std::string::npos; }))
            << name << " is not in the crashed run's map";
    std::string missing;
    for (const std::string& object : mapped)
        if (!loaded.count(object)) missing += "\n  " + object;
    EXPECT_EQ(missing, "") << "code objects of the crashed run without an image record";
    EXPECT_GT(mapped.size(), 20u);

    // Every thread, whatever signals it blocks (the renderer's workers block them all), has its
    // registers and a stack that starts at its program counter.
    plat::Object::Array threads;
    for (const plat::Object& section : sectionsOf(run.wireFiles.at("signal.crwrecord")))
        if (section["threads"].isArray()) threads = section["threads"].array();
    EXPECT_EQ(threads.size(), run.threads.size()) << "threads recorded vs. /proc/PID/task";
    for (size_t i = 0; i < threads.size(); ++i) {
        const plat::Object& thread = threads[i];
        SCOPED_TRACE("thread " + std::to_string(i));
        EXPECT_FALSE(thread["unreadable"].isString()) << thread["unreadable"].string();
        ASSERT_TRUE(thread["registers"].isDict());
        ASSERT_TRUE(thread["stacktrace"].isArray());
        const plat::Object& stack = thread["stacktrace"];
        ASSERT_FALSE(stack.array().empty());
        EXPECT_GT(thread["registers"]["rsp"].number().uint64Value(), 4096u);
        EXPECT_EQ(stack.array()[0].number().uint64Value(), thread["registers"]["rip"].number().uint64Value());
    }
    EXPECT_GT(threads.size(), 8u) << "the windowed run starts the renderer's workers";
}

} // namespace
