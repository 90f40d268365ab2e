// The built `velmora` quit while its tunnel goes down, against the stand-in: the tunnel's service
// runs inside the application, and a disconnect the user started must still be carried out.
// - Quit (SIGTERM) while the window shows "Disconnecting...": the tour signs in, connects and
//   disconnects with the power button, and the quit lands between "disconnecting" and
//   "disconnected". The tunnel is down on disk when the process has ended, and the next launch
//   shows "Not Connected".
// - Log out, then a quit (SIGTERM) or a kill (SIGKILL) at once: a signed-in launch with the tunnel
//   up whose session the service has expired logs out on its first request (the path the account
//   menu's Log out takes); the quit or kill lands right after it. After the quit the tunnel is
//   down; after the kill the next launch, signed out, takes it down. The stand-in holds the answer
//   that logs out until the test watches for it (the launch is told to wait for answers far longer
//   than the test does); for the quit the test also holds the keychain, whose first write is Log
//   out's, until the quit is on the main queue, so that no race decides the order.
// A run where the signal came too late to land in the middle (the log tells) is tried again.
#include "platform/foundation/FileDescriptor.h"
#include "standin/StandinServer.h"
#include "tests/render/XServer.h"
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kConnected = "NEVPNConnection.status: connected";
constexpr const char* kDisconnecting = "NEVPNConnection.status: disconnecting";
constexpr const char* kDisconnected = "NEVPNConnection.status: disconnected";
constexpr const char* kReceivedSigterm = "Received SIGTERM";
constexpr const char* kSignedIn = "initializing VelmoraController"; // only the main window makes one
constexpr int kAttempts = 5;
constexpr auto kCatchPatience = std::chrono::seconds(120);
// The requests the signed-in window makes as it appears.
constexpr const char* kRegions = "/api/users/me/regions";
constexpr const char* kPlan = "/api/users/me/plan";

class QuitWhileDisconnecting : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        server_.start(0);
    }
    void TearDown() override {
        if (pid_ > 0) finish(SIGKILL);
    }

    // A fresh data folder for the next attempt.
    void freshHome() {
        std::error_code ignored;
        fs::remove_all(home(), ignored);
        fs::create_directories(home());
        ++run_;
    }
    fs::path home() const { return scratch_.path() / "home"; }
    fs::path tunnelFile() const { return home() / "data" / "vpn" / "tunnel.plist"; }
    std::string tunnelText() const {
        return fs::exists(tunnelFile()) ? testsupport::readFile(tunnelFile()) : "";
    }

    // Starts the application: with `tour`, on the display in its tour (which signs in, connects and
    // disconnects), otherwise headless.
    void launch(const std::string& name, bool tour) {
        log_ = scratch_.path() / (name + std::to_string(run_) + ".log");
        std::vector<std::string> words{VELMORA_APP_BINARY};
        if (tour) words.insert(words.end(), {"--tour", (scratch_.path() / "shots").string()});
        std::map<std::string, std::string> env{
            {"VELMORA_HOME", home().string()},
            {"VELMORA_TESSERA_BASE", "http://127.0.0.1:" + std::to_string(server_.port())},
            {"VELMORA_API_BASE", server_.baseURL()},
            {"VELMORA_DEMO_EMAIL", standin::StandinServer::demoEmail()},
            {"VELMORA_DEMO_PASSWORD", standin::StandinServer::demoPassword()},
            {"VELMORA_BUNDLE", VELMORA_RESOURCES_DIR},
            // A loaded machine may take longer than the tour's own default for a step.
            {"VELMORA_TOUR_STEP_SECONDS", "100"},
            // The stand-in keeps answers for as long as the test needs: the application waits
            // longer for them than the test ever does.
            {"VELMORA_REQUEST_TIMEOUT_SECONDS", "3600"},
            {"ASAN_OPTIONS", "detect_leaks=0"}};
        pid_ = testsupport::startProcess(words, env, log_, {}, nullptr,
                                         tour ? std::set<std::string>{} : std::set<std::string>{"DISPLAY"});
        ASSERT_GT(pid_, 0);
    }
    std::string log() const { return testsupport::readFile(log_); }
    // Looks at the log every millisecond, since the states caught here last a fraction of a
    // second, for as long as the application makes progress (a tour step takes minutes on a
    // crowded core at a low priority); false when the application ended or stopped making progress
    // first, which `missed_` then tells with what its main thread was doing.
    bool caught(const std::function<bool(const std::string&)>& done) {
        const auto result = testsupport::waitForLaunch(
            pid_, [&] { return done(log()); }, {log_}, {.stall = kCatchPatience, .poll = 1ms});
        if (!result) missed_ = result.message();
        return result;
    }
    static bool after(const std::string& text, const std::string& first, const std::string& then) {
        const size_t at = text.find(first);
        return at != std::string::npos && text.find(then, at) != std::string::npos;
    }
    // Whether the signal landed while the tunnel that came up was not yet down: no "disconnected"
    // after "connected" and before the quit began (before the end, for a kill).
    static bool landedInTheMiddle(const std::string& text, int signal) {
        const size_t up = text.find(kConnected);
        if (up == std::string::npos) return false;
        const size_t down = text.find(kDisconnected, up);
        if (signal == SIGKILL) return down == std::string::npos;
        const size_t quit = text.find(kReceivedSigterm, up);
        return quit != std::string::npos && (down == std::string::npos || down > quit);
    }
    // Sends `signal`, runs `meanwhile` and waits for the process to end. A quit ends the
    // application as its Quit item does, which on a crowded machine takes far longer than a quiet
    // one needs: only a quit that hangs reaches the bound, and is then killed and named.
    void finish(int signal, const std::function<void()>& meanwhile = {}) {
        ::kill(pid_, signal);
        if (meanwhile) meanwhile();
        int status = 0;
        if (!testsupport::waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, kCatchPatience)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            ADD_FAILURE() << "the application was still running " << kCatchPatience.count() << " s after "
                          << ::strsignal(signal) << "\n"
                          << log();
        }
        pid_ = -1;
    }
    // A headless launch on the same data folder, until its tunnel's first status is printed; the
    // log of that launch.
    std::string relaunchUntilStatus() {
        launch("relaunch", false);
        caught([](const std::string& text) {
            return text.find(kConnected) != std::string::npos ||
                   text.find(kDisconnected) != std::string::npos;
        });
        finish(SIGTERM);
        return log();
    }
    // A tour run stopped by SIGKILL once the tunnel is up and before the tour takes it down: the
    // data folder then holds a signed-in user with the tunnel up. False when the kill came late.
    bool signedInWithTheTunnelUp() {
        freshHome();
        launch("tour", true);
        const bool up =
            caught([](const std::string& text) { return text.find(kConnected) != std::string::npos; });
        finish(SIGKILL);
        EXPECT_TRUE(up) << missed_ << "\n" << log();
        return up && tunnelText().find("<key>up</key>") != std::string::npos &&
               tunnelText().find("stopRequested") == std::string::npos;
    }
    // Expires the session the tour signed in with, so the next request the application makes logs
    // it out.
    void expireTheSession() {
        std::string token;
        for (const auto& request : server_.requests())
            for (const auto& [name, value] : request.headers)
                if (name == "Authorization" && value.rfind("Bearer ", 0) == 0) token = value.substr(7);
        ASSERT_FALSE(token.empty());
        ASSERT_TRUE(server_.expireToken(token));
    }
    // Whether the application has handed `signal` to its main queue (or has ended): the signal is
    // no longer pending, and then the one thread that waits for signals is back in its wait, which
    // it enters again only once it has handed the last one on.
    bool signalHandedOn(int signal) const {
        const std::string process = "/proc/" + std::to_string(pid_);
        std::ifstream status(process + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("State:", 0) == 0 && line.find('Z') != std::string::npos) return true;
            if (line.rfind("ShdPnd:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1))
                return false;
        }
        std::error_code ignored;
        if (!fs::exists(process + "/task", ignored)) return true;
        for (const auto& task : fs::directory_iterator(process + "/task", ignored)) {
            long call = -1; // "running" is no number: the file names a call only while it blocks
            std::ifstream(task.path() / "syscall") >> call;
            if (call == SYS_rt_sigtimedwait) return true;
        }
        return false;
    }
    // What the stand-in keeps waiting, for a failure message: their number and paths.
    std::string heldText() const {
        const std::vector<std::string> paths = server_.heldPaths();
        std::string text = std::to_string(paths.size()) + " held";
        for (const std::string& path : paths)
            text += " " + path;
        return text;
    }
    // Whether the stand-in keeps a request for `path` waiting.
    bool holds(const std::string& path) const {
        const std::vector<std::string> paths = server_.heldPaths();
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    }
    // A headless launch with the tunnel up that logs out on its first request, whose answer the
    // stand-in holds until the test is ready (the other request, until the signal has landed). Log
    // out clears the credentials, then disconnects, and the tunnel is down a moment later; the
    // signal lands in between:
    // - the quit with a shared hold on the keychain's lock, as a reader takes it: the window, which
    //   reads the user's token and email each time it is drawn, goes on, while Log out, once it
    //   printed the answer, waits to write until the quit is on the main queue, which then takes
    //   it once Log out has asked for the disconnect (an exclusive hold would stop the window, and
    //   the answer queued behind it would never be printed);
    // - the kill at once when Log out has shown the login window, which it does after it cleared
    //   the credentials and asked for the disconnect (that takes 0.15 s at least).
    // False when it came too late.
    bool logOutAndAtOnce(int signal) {
        server_.setFault("users/me/*", {standin::Fault::Kind::Hold});
        launch("logout", false);
        // Both requests the signed-in window makes as it appears; more may come besides.
        if (!caught([&](const std::string&) { return holds(kRegions) && holds(kPlan); })) {
            ADD_FAILURE() << "waited for the signed-in window to ask for its regions and its plan: "
                          << missed_ << "; the stand-in has " << heldText() << "\n"
                          << log();
            server_.clearFault("users/me/*");
            finish(SIGKILL, [&] { server_.releaseHeld(); });
            return false;
        }
        plat::FileDescriptor keychain;
        if (signal == SIGTERM) {
            keychain.reset(::open((home() / "data" / "keychain" / ".lock").c_str(), O_RDWR | O_CLOEXEC));
            EXPECT_EQ(::flock(keychain.get(), LOCK_SH), 0) << std::strerror(errno);
        }
        server_.clearFault("users/me/*");
        server_.releaseHeld(1);
        const char* mark = signal == SIGTERM ? "Status Code: 401" : "LoginController init";
        const bool loggedOut =
            caught([&](const std::string& text) { return text.find(mark) != std::string::npos; });
        EXPECT_TRUE(loggedOut) << "waited for \"" << mark
                               << "\" once the first answer was let go: " << missed_ << "; the stand-in has "
                               << heldText() << "\n"
                               << log();
        finish(signal, [&] {
            if (keychain) {
                EXPECT_TRUE(testsupport::eventually([&] { return signalHandedOn(signal); }))
                    << "the quit was not handed to the main queue";
                keychain.reset();
            }
            server_.releaseHeld();
        });
        return loggedOut && landedInTheMiddle(log(), signal);
    }

    testsupport::TempHome scratch_;
    standin::StandinServer server_;
    fs::path log_;
    pid_t pid_ = -1;
    int run_ = 0;
    std::string missed_; // why caught() last came back empty-handed
};

TEST_F(QuitWhileDisconnecting, AQuitAtDisconnectingLeavesTheTunnelDown) {
    bool landed = false;
    for (int attempt = 0; attempt < kAttempts && !landed; ++attempt) {
        freshHome();
        ASSERT_NO_FATAL_FAILURE(launch("tour", true));
        const bool disconnecting =
            caught([](const std::string& text) { return after(text, kConnected, kDisconnecting); });
        finish(SIGTERM);
        const std::string text = log();
        ASSERT_TRUE(disconnecting) << missed_ << "\n" << text;
        landed = landedInTheMiddle(text, SIGTERM);
        if (!landed) continue;
        EXPECT_EQ(tunnelText(), "") << "the quit left the tunnel up\n" << text;
        EXPECT_NE(text.find("Velmora stopped cleanly."), std::string::npos) << text;
        const std::string next = relaunchUntilStatus();
        EXPECT_NE(next.find(kDisconnected), std::string::npos) << next;
        EXPECT_EQ(next.find(kConnected), std::string::npos) << next;
        EXPECT_NE(next.find("Not Connected"), std::string::npos) << next;
        EXPECT_EQ(tunnelText(), "");
    }
    EXPECT_TRUE(landed) << "no quit of " << kAttempts << " landed while the tunnel went down";
}

TEST_F(QuitWhileDisconnecting, AQuitOrAKillRightAfterLogOutLeavesTheTunnelDown) {
    for (int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "quit" : "kill");
        bool landed = false;
        for (int attempt = 0; attempt < kAttempts && !landed; ++attempt) {
            if (!signedInWithTheTunnelUp()) continue;
            ASSERT_NO_FATAL_FAILURE(expireTheSession());
            landed = logOutAndAtOnce(signal);
            if (HasFailure()) return; // a wait ran out: another attempt would only say so again
            if (!landed) continue;
            const std::string text = log();
            if (signal == SIGTERM) {
                EXPECT_EQ(tunnelText(), "") << "the quit left the tunnel up\n" << text;
                EXPECT_NE(text.find("Velmora stopped cleanly."), std::string::npos) << text;
            } else if (tunnelText().empty()) {
                landed = false; // the kill came after the tunnel was down
                continue;
            }
            // Signed out, the next launch shows the login window and has the tunnel down.
            ASSERT_NO_FATAL_FAILURE(launch("signed-out", false));
            const bool shown = testsupport::eventually([&] {
                return log().find("Email") != std::string::npos || log().find(kSignedIn) != std::string::npos;
            });
            EXPECT_TRUE(shown) << log();
            if (log().find(kSignedIn) != std::string::npos) {
                landed = false; // the kill came before Log out had signed the user out
                finish(SIGKILL);
                continue;
            }
            EXPECT_TRUE(testsupport::eventually([&] { return tunnelText().empty(); }))
                << "the tunnel stayed up:\n"
                << tunnelText() << "\n"
                << log();
            finish(SIGTERM);
            EXPECT_EQ(tunnelText(), "");
        }
        EXPECT_TRUE(landed) << "no signal of " << kAttempts << " landed right after Log out";
    }
}

} // namespace
