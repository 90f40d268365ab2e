// The built `velmora` in tour mode, as run.sh starts it without a display: a separate process on
// an X display, against a stand-in in this process, with a throwaway data folder. The tour must
// end with exit code 0 and leave a screenshot of every step, of the right sizes and showing real
// pictures; a tour that cannot sign in must fail with a message naming the step; a tour without an
// account must refuse to start. A launch sends one session start event, which reaches the
// stand-in's upload service holding the installation the stand-in issued. In this process: the desktop
// windows the application shows follow their scene windows (visibility, title, size both ways), closing the
// last one ends the application, the scene layer opens its windows on the desktop with the string tables as
// their localiser, and the window group's windows draw the menu bar, whose shortcuts work from the keyboard.
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Localization.h"
#include "platform/render/Bitmap.h"
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/scene/DesktopPresenter.h"
#include "platform/render/scene/DesktopWindow.h"
#include "platform/scene/HostedWindowContent.h"
#include "platform/scene/MenuBar.h"
#include "platform/scene/SceneHost.h"
#include "platform/ui/Toolkit.h"
#include "standin/StandinServer.h"
#include "tests/render/XServer.h"
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using plat::render::Bitmap;

struct AppRun {
    int exitCode = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
};

class RunTour : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-tour-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        server_.start(0);
    }
    void TearDown() override {
        server_.stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Runs the application with `args` and these variables added to the environment; kills it
    // when it made no progress for `limit` (what it was doing then goes to the test's errors).
    //
    // At exit the leak checker stops every thread of the process, the display driver's included,
    // and on rare occasions its own tracer crashes doing so. That aborts a run in which the
    // application had already stopped cleanly: a fault of the tool, not of the application. Such
    // a run is repeated once from a fresh data folder; a second crash, or any other fault, stands.
    // With `stopWhen`, the application is asked to terminate (SIGTERM) once the predicate holds.
    AppRun runApp(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                  std::chrono::seconds limit = std::chrono::seconds(50),
                  const std::function<bool()>& stopWhen = nullptr) {
        AppRun run = runOnce(args, env, limit, stopWhen);
        if (!run.timedOut && run.exitCode == -1 &&
            run.out.find("Velmora stopped cleanly.") != std::string::npos &&
            run.err.find("LeakSanitizer has encountered a fatal error") != std::string::npos) {
            std::cerr << "The leak checker crashed after a clean stop; running the application again.\n"
                      << run.err << std::endl;
            std::error_code ec;
            fs::remove_all(dir_ / "home", ec);
            fs::remove_all(dir_ / "shots", ec);
            run = runOnce(args, env, limit, stopWhen);
        }
        return run;
    }

    AppRun runOnce(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                   std::chrono::seconds limit, const std::function<bool()>& stopWhen) {
        const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
        std::vector<std::string> words{VELMORA_APP_BINARY};
        words.insert(words.end(), args.begin(), args.end());
        const pid_t pid = testsupport::startProcess(words, env, out, err);
        AppRun run;
        if (pid < 0) return run;
        int status = 0;
        bool stopping = false;
        const auto ended = testsupport::waitForLaunch(
            pid,
            [&] {
                if (::waitpid(pid, &status, WNOHANG) == pid) return true;
                if (stopWhen && !stopping && stopWhen()) {
                    ::kill(pid, SIGTERM);
                    stopping = true;
                }
                return false;
            },
            {out, err}, {.stall = limit});
        if (!ended) {
            run.timedOut = true;
            std::cerr << ended.message() << std::endl;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        if (!run.timedOut && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.out = testsupport::readFile(out);
        run.err = testsupport::readFile(err);
        return run;
    }

    // The variables of a run against `server` (the fixture's own when none is named).
    std::map<std::string, std::string> tourEnvironment(const std::string& password,
                                                       const standin::StandinServer* server = nullptr) const {
        if (!server) server = &server_;
        return {{"VELMORA_API_BASE", server->baseURL()},
                {"VELMORA_TESSERA_BASE", "http://127.0.0.1:" + std::to_string(server->port())},
                {"VELMORA_HOME", (dir_ / "home").string()},
                {"VELMORA_DEMO_EMAIL", standin::StandinServer::demoEmail()},
                {"VELMORA_DEMO_PASSWORD", password}};
    }

    fs::path dir_;
    standin::StandinServer server_;
};

// How many different colours a picture has (up to `enough`).
size_t colours(const Bitmap& bitmap, size_t enough = 64) {
    std::set<uint32_t> seen;
    for (int y = 0; y < bitmap.height && seen.size() < enough; ++y)
        for (int x = 0; x < bitmap.width && seen.size() < enough; ++x)
            seen.insert(bitmap.pixel(x, y));
    return seen.size();
}

// How many pixels differ between two pictures of one size.
size_t differingPixels(const Bitmap& a, const Bitmap& b) {
    size_t count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

TEST_F(RunTour, WritesTheScreenshotsOfEveryStepAndExitsWithZero) {
    REQUIRE_DISPLAY();
    const fs::path shots = dir_ / "shots";
    // Asked to hold, the application outlives the tour until it is told to stop, and still reports
    // the tour's success.
    auto env = tourEnvironment(standin::StandinServer::demoPassword());
    env["VELMORA_TOUR_HOLD_SECONDS"] = "120";
    // A step's own limit counts from the start for the login window's step, and a crowded machine
    // needs more than the default to start the application and draw its first frames: the test's
    // wait for the run is the bound here, not the tour's.
    env["VELMORA_TOUR_STEP_SECONDS"] = "600";
    const AppRun run = runApp({"--tour", shots.string()}, env, std::chrono::seconds(100), [&] {
        return testsupport::readFile(dir_ / "stdout.txt").find("Tour finished: ") != std::string::npos;
    });
    ASSERT_FALSE(run.timedOut) << run.out << run.err;
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const size_t held = run.out.find("Tour: the application keeps running for up to 120 s");
    ASSERT_NE(held, std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Received SIGTERM", held), std::string::npos) << run.out;

    // Each step's picture at the window's content size with the menu bar's strip above it (the
    // title strip is the desktop's); a sheet's picture at least at its content's minimum.
    const int bar = 24;
    const std::vector<std::pair<std::string, std::pair<int, int>>> expected{
        {"01-login.png", {800, 472 + bar}},
        {"02-sign-up.png", {800, 472 + bar}},
        {"03-main.png", {300, 572 + bar}},
        {"04-connected.png", {300, 572 + bar}},
        {"05-disconnected.png", {300, 572 + bar}},
        {"06-settings-compact.png", {300, 572 + bar}},
        {"06-settings-compact-sheet1.png", {600, 0}},
        {"07-plans.png", {300, 572 + bar}},
        {"07-plans-sheet1.png", {400, 0}},
        {"08-menu-bar.png", {300, 572 + bar}},
        {"09-full-layout.png", {800, 572 + bar}},
        {"10-logged-out.png", {800, 472 + bar}}};
    std::map<std::string, Bitmap> pictures;
    for (const auto& [name, size] : expected) {
        const fs::path path = shots / name;
        EXPECT_NE(run.out.find("Tour screenshot: " + path.string()), std::string::npos) << name << "\n"
                                                                                        << run.out;
        auto bitmap = Bitmap::readPng(path);
        ASSERT_TRUE(bitmap) << path;
        if (name == "01-login.png" || name == "02-sign-up.png" || name == "10-logged-out.png") {
            // The login window is as high as the taller sign-up form needs from the start, at
            // least 800 by 500, and keeps its size whichever form it shows.
            EXPECT_EQ(bitmap->width, size.first) << name;
            EXPECT_GE(bitmap->height, size.second) << name;
            if (name != "01-login.png" && pictures.count("01-login.png")) {
                EXPECT_EQ(bitmap->height, pictures.at("01-login.png").height) << name;
            }
        } else if (name.find("-sheet") == std::string::npos) {
            EXPECT_EQ(bitmap->width, size.first) << name;
            EXPECT_EQ(bitmap->height, size.second) << name;
        } else {
            // Wider than the compact window it hangs from.
            EXPECT_GE(bitmap->width, size.first) << name;
            EXPECT_GE(bitmap->height, 300) << name;
        }
        EXPECT_GE(colours(*bitmap), 16u) << name << " is (nearly) one colour";
        pictures[name] = std::move(*bitmap);
    }
    // The login window's brand column, in "rightBarColor", along the right edge below the bar.
    EXPECT_EQ(pictures["01-login.png"].pixel(795, bar + 5) >> 8, 0x1E3A8Au);
    // Connecting changes the power button: the pictures before and while connected differ.
    EXPECT_GT(differingPixels(pictures["03-main.png"], pictures["04-connected.png"]), 1000u);
    // The open application menu is drawn over the window.
    EXPECT_GT(differingPixels(pictures["05-disconnected.png"], pictures["08-menu-bar.png"]), 1000u);
    EXPECT_NE(run.out.find("Tour finished: 12 screenshots"), std::string::npos) << run.out;

    // The launch registered the installation with the stand-in, once and without a refresh token.
    std::vector<standin::RequestLogEntry> registrations;
    for (const auto& entry : server_.requests())
        if (entry.method == "POST" && entry.path == "/v1/tenants/velmora-desktop/installations/")
            registrations.push_back(entry);
    ASSERT_EQ(registrations.size(), 1u);
    for (const auto& name : registrations[0].headerNames())
        EXPECT_NE(name, "Authorization");
    ASSERT_EQ(server_.installations().all().size(), 1u);
    EXPECT_NE(run.out.find("Installation: " + server_.installations().all()[0].tid), std::string::npos)
        << run.out;
}

TEST_F(RunTour, FailsWithTheStepWhenTheSignInIsRefused) {
    REQUIRE_DISPLAY();
    auto env = tourEnvironment("not-the-password");
    const fs::path shots = dir_ / "shots";
    // The same limit also bounds the login window's step, which must pass: it counts from the
    // start, and a crowded machine needs many seconds to start the app and draw its first frames
    // (a software renderer compiles its shaders then; more than 30 s beside busy loops). A run
    // whose login window or sign-up form did not come in time tells that truthfully, and says
    // nothing of the sign-in: it is run again with a limit that such a machine meets.
    AppRun run;
    std::string limit;
    for (const int seconds : {30, 120}) {
        limit = std::to_string(seconds);
        env["VELMORA_TOUR_STEP_SECONDS"] = limit;
        std::error_code ignored;
        fs::remove_all(dir_ / "home", ignored);
        fs::remove_all(shots, ignored);
        run = runApp({"--tour=" + shots.string()}, env, std::chrono::seconds(seconds + 60));
        const bool tooSlowBeforeSignIn =
            run.err.find("Tour failed at step 1 of 10: timed out after " + limit + " s") != std::string::npos ||
            run.err.find("Tour failed at step 2 of 10: timed out after " + limit + " s") != std::string::npos;
        if (!tooSlowBeforeSignIn) break;
        std::cerr << "The login window took longer than " << limit << " s; running the tour again.\n";
    }
    ASSERT_FALSE(run.timedOut) << run.out << run.err;
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("Tour failed at step 3 of 10: timed out after " + limit + " s waiting for the main window"),
              std::string::npos)
        << run.err;
    // The login window and the sign-up form were written before the sign-in; nothing after it.
    EXPECT_TRUE(fs::exists(shots / "02-sign-up.png"));
    EXPECT_FALSE(fs::exists(shots / "03-main.png"));
}

TEST_F(RunTour, RefusesToStartWithoutTheDemoAccount) {
    auto env = tourEnvironment("");
    // Set, but empty: as good as missing.
    env["VELMORA_DEMO_PASSWORD"] = "";
    const AppRun run = runApp({"--tour", (dir_ / "shots").string()}, env, testsupport::kPatience);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_NE(run.err.find("VELMORA_DEMO_PASSWORD"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "shots"));
}

// Protocol-buffer fields straight off the wire, for reading an upload body without the client's
// own decoder: `field` runs for each field with its number and its varint value or its bytes.
bool readVarint(std::string_view& in, uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64 && !in.empty(); shift += 7) {
        const auto byte = static_cast<uint8_t>(in.front());
        in.remove_prefix(1);
        value |= uint64_t{byte & 0x7fu} << shift;
        if (!(byte & 0x80)) return true;
    }
    return false;
}

bool forEachField(std::string_view in,
                  const std::function<void(uint64_t, uint64_t, std::string_view)>& field) {
    while (!in.empty()) {
        uint64_t key = 0, value = 0;
        if (!readVarint(in, key)) return false;
        switch (key & 7) {
        case 0:
            if (!readVarint(in, value)) return false;
            field(key >> 3, value, {});
            break;
        case 1:
        case 5: {
            const size_t width = (key & 7) == 1 ? 8 : 4;
            if (in.size() < width) return false;
            in.remove_prefix(width);
            break;
        }
        case 2:
            if (!readVarint(in, value) || value > in.size()) return false;
            field(key >> 3, 0, in.substr(0, value));
            in.remove_prefix(value);
            break;
        default:
            return false;
        }
    }
    return true;
}

// The payloads of the log events of `logSource` in a batched log request body.
std::vector<std::string> eventPayloads(std::string_view body, uint64_t logSource) {
    std::vector<std::string> payloads;
    EXPECT_TRUE(forEachField(body, [&](uint64_t number, uint64_t, std::string_view request) {
        if (number != 1) return;
        uint64_t source = 0;
        std::vector<std::string> events;
        EXPECT_TRUE(forEachField(request, [&](uint64_t field, uint64_t value, std::string_view bytes) {
            if (field == 2) source = value;
            if (field != 3) return;
            EXPECT_TRUE(forEachField(bytes, [&](uint64_t eventField, uint64_t, std::string_view payload) {
                if (eventField == 6) events.emplace_back(payload);
            }));
        }));
        if (source == logSource) payloads.insert(payloads.end(), events.begin(), events.end());
    }));
    return payloads;
}

TEST_F(RunTour, TheLaunchSendsOneSessionStartEventWithTheInstallationTheStandinIssued) {
    std::unique_ptr<standin::StandinServer> server;
    auto sessionUploads = [&server] {
        std::vector<standin::UploadRecord> found;
        for (const auto& record : server->uploads().records())
            if (record.target == 1001 && record.status == 200) found.push_back(record);
        return found;
    };
    // The session event and the settings wait 10 s for the installation the launch registers, and
    // go without it after that, saying so: a machine so crowded that the registration took longer
    // tells nothing of the event. Such a launch is stopped and made again from the start, with a
    // fresh stand-in and data folder.
    auto installationTooLate = [](const std::string& err) {
        return err.find("Error getting Tessera Installation ID due to timeout") != std::string::npos ||
               err.find("Fetching newest settings failed with error: InstallationIDError") != std::string::npos;
    };
    AppRun run;
    for (int attempt = 0; attempt < 3; ++attempt) {
        server = std::make_unique<standin::StandinServer>();
        server->start(0);
        std::error_code ignored;
        fs::remove_all(dir_ / "home", ignored);
        auto env = tourEnvironment(standin::StandinServer::demoPassword(), server.get());
        env["TesseraSessionsRunEnvironment"] = " Staging ";
        // The application runs until the stand-in has the session's upload, then is asked to stop.
        run = runApp({}, env, std::chrono::seconds(60), [&] {
            return !sessionUploads().empty() || installationTooLate(testsupport::readFile(dir_ / "stderr.txt"));
        });
        if (!installationTooLate(run.err)) break;
        std::cerr << "The installation came after the launch stopped waiting for it; launching again.\n";
    }
    ASSERT_FALSE(run.timedOut) << run.out << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    const auto uploads = sessionUploads();
    ASSERT_EQ(uploads.size(), 1u);
    const std::vector<std::string> events = eventPayloads(uploads[0].body, 2102);
    ASSERT_EQ(events.size(), 1u) << "one launch, one session start event";

    ASSERT_EQ(server->installations().all().size(), 1u);
    const standin::Installation installation = server->installations().all()[0];
    const size_t printed = run.out.find("Session: ");
    ASSERT_NE(printed, std::string::npos) << run.out;
    // The application prints its sessions without posing as a subscriber of its own.
    EXPECT_EQ((run.out + run.err).find("for unknown Subscriber"), std::string::npos) << run.out << run.err;
    const std::string sessionID = run.out.substr(printed + 9, 32);

    const std::string text = testsupport::protocDecode(events[0], "tessera.apphealth.sessions.SessionEvent",
                                                       "sessions/proto", "sessions.proto");
    for (const std::string& line :
         {std::string("event_type: SESSION_START"), "session_id: \"" + sessionID + "\"",
          "first_session_id: \"" + sessionID + "\"", "tessera_installation_id: \"" + installation.tid + "\"",
          "tessera_authentication_token: \"" + installation.authTokens.back() + "\"",
          std::string("session_sampling_rate: 1"), std::string("bundle_short_version: \"1.0.0\""),
          std::string("app_build_version: \"1\""), std::string("session_sdk_version: \"3.2.0\""),
          std::string("os_name: MACOS"), std::string("log_environment: STAGING")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " is not in\n" << text;
    EXPECT_NE(text.find("app_id: \"" + installation.appId + "\""), std::string::npos) << text;
    // The settings were asked for once, with the installation the event names.
    const auto settingsRequests = server->settings().requests();
    ASSERT_EQ(settingsRequests.size(), 1u);
    bool namesInstallation = false;
    for (const auto& [name, value] : settingsRequests[0].headers)
        namesInstallation |= name == "X-Crashwatch-Installation-ID" && value == installation.tid;
    EXPECT_TRUE(namesInstallation);
}

// Scene windows shown through the presenter, in this process.
class DesktopWindows : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        plat::Application::shared().resetForTesting();
        presenter_ = plat::render::DesktopPresenter::makeIfDisplayAvailable("AppIconMacOS");
        ASSERT_TRUE(presenter_);
    }
    void TearDown() override {
        plat::Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
    }
    std::shared_ptr<plat::Window> open(const std::string& title, plat::Size size) {
        auto window = plat::Window::make({{100, 100}, size});
        window->setTitle(title);
        plat::scene::HostedWindowContent::install(window, plat::ui::VerbatimText(title), false, presenter_);
        return window;
    }
    static plat::render::GlWindow& desktop(plat::Window& window) {
        auto* content = dynamic_cast<plat::scene::HostedWindowContent*>(window.content().get());
        auto* shown = content ? dynamic_cast<plat::render::DesktopWindow*>(content->presentation()) : nullptr;
        if (!shown) throw std::runtime_error("the window is not on the desktop");
        return static_cast<plat::render::GlWindow&>(shown->hostWindow().surface());
    }
    static bool sized(const plat::render::Surface& surface, double width, double height) {
        return surface.contentSize() == plat::Size{width, height};
    }
    static bool turnUntil(const std::function<bool()>& done) {
        return plat::render::WindowSystem::shared().runUntil(done, testsupport::kPatience);
    }
    std::shared_ptr<plat::render::DesktopPresenter> presenter_;
};

TEST_F(DesktopWindows, FollowTheirWindowsAndTheLastOneClosedEndsTheApplication) {
    auto& app = plat::Application::shared();
    auto first = open("First", {420, 300});
    auto second = open("Second", {360, 240});
    auto& surface = desktop(*first);
    // Hidden until ordered front; then shown with the window's title at its content size.
    EXPECT_FALSE(surface.isVisible());
    first->makeKeyAndOrderFront();
    second->makeKeyAndOrderFront();
    app.updateWindows();
    EXPECT_TRUE(surface.isVisible());
    EXPECT_EQ(surface.title(), "First");
    EXPECT_TRUE(sized(surface, 420, 300));

    // The application sizes the window: the desktop window follows.
    first->setContentSize({500, 350});
    EXPECT_TRUE(turnUntil([&] { return sized(surface, 500, 350); }));
    app.updateWindows();
    EXPECT_EQ(first->contentSize(), (plat::Size{500, 350}));
    // The user sizes the desktop window: the window and its tree take that size.
    surface.setContentSize({610, 380});
    ASSERT_TRUE(turnUntil([&] { return sized(surface, 610, 380); }));
    app.updateWindows();
    EXPECT_EQ(first->contentSize(), (plat::Size{610, 380}));
    auto* content = dynamic_cast<plat::scene::HostedWindowContent*>(first->content().get());
    EXPECT_EQ(content->host().contentSize(), (plat::Size{610, 380}));
    // Ordered out: hidden on the desktop too.
    first->orderOut();
    app.updateWindows();
    EXPECT_FALSE(surface.isVisible());
    first->makeKeyAndOrderFront();
    first->setTitle("First, renamed");
    app.updateWindows();
    EXPECT_TRUE(surface.isVisible());
    EXPECT_EQ(surface.title(), "First, renamed");

    // The desktop's close button closes the window; with one left the application goes on.
    std::weak_ptr<plat::Window> firstGone = first;
    first.reset();
    surface.simulateCloseRequest();
    ASSERT_TRUE(turnUntil([&] { return app.windows().size() == 1; }));
    EXPECT_FALSE(firstGone.lock());
    EXPECT_FALSE(app.isTerminating());
    // Closing the last one ends it.
    desktop(*second).simulateCloseRequest();
    second.reset();
    EXPECT_TRUE(turnUntil([&] { return app.isTerminating(); }));
    EXPECT_TRUE(app.windows().empty());
}

// One window group showing a text of the string tables.
class StatusApp : public plat::scene::App {
public:
    std::vector<plat::scene::Scene> body() const override {
        return {plat::scene::Scene::WindowGroup([] { return plat::ui::Text("Not Connected"); })};
    }
};

TEST_F(DesktopWindows, SceneWindowsAreOnTheDesktopAndLocalised) {
    // Spanish for this test only, whatever happens in it.
    struct Spanish {
        Spanish() { set("es"); }
        ~Spanish() { set(nullptr); }
        static void set(const char* language) {
            if (language)
                ::setenv("LANGUAGE", language, 1);
            else
                ::unsetenv("LANGUAGE");
            plat::Localization::shared().resetForTesting();
        }
    } spanish;
    StatusApp app;
    plat::scene::SceneOptions options;
    options.presenter = presenter_;
    {
        plat::scene::SceneHost scenes(app, options);
        plat::Application::shared().finishLaunching([&] { scenes.install(); });
        plat::Application::shared().updateWindows();
        ASSERT_EQ(plat::Application::shared().windows().size(), 1u);
        auto window = plat::Application::shared().windows().front();
        EXPECT_TRUE(desktop(*window).isVisible());
        auto* content = dynamic_cast<plat::scene::HostedWindowContent*>(window->content().get());
        ASSERT_TRUE(content);
        content->host().update();
        EXPECT_TRUE(content->host().find(plat::ui::Query::text("No conectado"))) << content->host().dump();
        plat::Application::shared().resetForTesting();
    }
}

// One window group with a plain root, a settings scene, and a command after About.
class CommandsApp : public plat::scene::App {
public:
    std::shared_ptr<int> checks = std::make_shared<int>(0);
    std::vector<plat::scene::Scene> body() const override {
        auto count = checks;
        return {plat::scene::Scene::WindowGroup([] { return plat::ui::VerbatimText("Main"); })
                    .commands({plat::scene::SceneCommandGroup::after(
                        plat::CommandGroupPlacement::appInfo,
                        [count] { return plat::ui::Button("Check for Updates…", [count] { ++*count; }); })}),
                plat::scene::Scene::Settings([] { return plat::ui::VerbatimText("Settings"); })};
    }
};

TEST_F(DesktopWindows, TheMainWindowDrawsTheMenuBarWhoseItemsAndShortcutsWork) {
    CommandsApp app;
    plat::scene::SceneOptions options;
    options.presenter = presenter_;
    plat::scene::SceneHost scenes(app, options);
    auto& application = plat::Application::shared();
    application.finishLaunching([&] { scenes.install(); });
    application.updateWindows();
    auto window = application.windows().front();
    auto& surface = desktop(*window);
    auto* content = dynamic_cast<plat::scene::HostedWindowContent*>(window->content().get());
    ASSERT_TRUE(content);
    // The bar is a strip above the content area: the desktop window is that much taller.
    const auto size = window->contentSize();
    EXPECT_TRUE(turnUntil(
        [&] { return sized(surface, size.width, size.height + plat::scene::MenuBarModel::kHeight); }));
    auto& host = content->host();
    EXPECT_EQ(host.require(plat::ui::Query::text("Main")).frame().y >= plat::scene::MenuBarModel::kHeight,
              true);

    // A click on the application menu's title opens it; a click on the command's row chooses it.
    const plat::Rect title = host.require(plat::ui::Query::testId("menuBar.Velmora")).frame();
    surface.simulateMouseClick({title.center().x, title.center().y});
    ASSERT_TRUE(turnUntil([&] { return static_cast<bool>(host.menuPopup()); }));
    std::optional<plat::Rect> row;
    const auto popup = host.menuPopup();
    for (const auto& r : popup->rows)
        if (r.text == "Check for Updates…") row = r.frame;
    ASSERT_TRUE(row) << "the command follows About";
    surface.simulateMouseClick({row->center().x, row->center().y});
    ASSERT_TRUE(turnUntil([&] { return *app.checks == 1; }));
    EXPECT_FALSE(host.openMenu());

    // Ctrl+, opens the settings window; Ctrl+Q ends the application.
    surface.simulateKey(',', plat::render::keys::ModControl);
    ASSERT_TRUE(turnUntil([&] { return static_cast<bool>(scenes.settingsWindow()); }));
    surface.simulateKey('Q', plat::render::keys::ModControl);
    EXPECT_TRUE(turnUntil([&] { return application.isTerminating(); }));
    application.resetForTesting();
}

} // namespace
