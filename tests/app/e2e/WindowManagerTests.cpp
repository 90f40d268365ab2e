// The built `velmora` on a display with a window manager (openbox), driven by real pointer and
// keyboard input (XTEST) and looked at as a pager would: the window manager keeps the window at
// least at its content's minimum when the user drags its frame, cannot maximise it, Control+M
// minimises it, Control+W on the last window ends the process while Control+W or the window
// manager's close on a sheet closes only the sheet, and a second launch on the same data folder
// brings the first one's window forward (restoring it when minimised) and exits at once, whatever
// silent clients hold the running one's socket; out of descriptors, the running one does not spin.
#include "standin/StandinServer.h"
#include "tests/render/DesktopProbe.h"
#include "tests/render/WindowManager.h"
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using rendertest::DesktopProbe;
using testsupport::eventually;

// What the shared input helper does not offer: typed text (with Shift where a character needs it)
// and a pager's request to close a window.
class Keyboard {
public:
    explicit Keyboard(const std::string& display)
        : display_(XOpenDisplay(display.c_str())), input_(display) {}
    ~Keyboard() {
        if (display_) XCloseDisplay(display_);
    }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    void press(KeySym sym, bool shift = false, bool control = false) {
        input_.key(sym, control, shift);
        std::this_thread::sleep_for(30ms);
    }
    void type(const std::string& ascii) {
        for (const char c : ascii) {
            const auto sym = static_cast<KeySym>(static_cast<unsigned char>(c));
            const KeyCode code = XKeysymToKeycode(display_, sym);
            press(sym, XkbKeycodeToKeysym(display_, code, 0, 0) != sym);
        }
    }
    // As a pager or a taskbar's close does: the window manager then asks the window to close.
    void requestClose(unsigned long window) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = window;
        e.xclient.message_type = XInternAtom(display_, "_NET_CLOSE_WINDOW", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = CurrentTime;
        e.xclient.data.l[1] = 2;
        XSendEvent(display_, DefaultRootWindow(display_), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(display_, False);
    }

private:
    Display* display_;
    rendertest::XTestInput input_;
};

// One launch of the application, in the background.
struct Launch {
    pid_t pid = -1;
    int status = -1;
    fs::path out, err;
    bool exited() {
        if (pid < 0) return true;
        int s = 0;
        if (::waitpid(pid, &s, WNOHANG) != pid) return false;
        status = s;
        pid = -1;
        return true;
    }
    int exitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        const auto display = rendertest::windowManagerDisplay(&why);
        ASSERT_TRUE(display) << why;
        display_ = *display;
        probe_ = std::make_unique<DesktopProbe>(display_);
        input_ = std::make_unique<rendertest::XTestInput>(display_);
        char pattern[] = "/tmp/velmora-wm-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        server_.start(0);
        ASSERT_TRUE(probe_->connected());
        ASSERT_TRUE(input_->available());
        x_ = XOpenDisplay(display_.c_str());
        ASSERT_NE(x_, nullptr);
    }
    void TearDown() override {
        if (x_) XCloseDisplay(x_);
        for (auto& launch : launches_) {
            if (launch.pid > 0) {
                ::kill(launch.pid, SIGKILL);
                ::waitpid(launch.pid, nullptr, 0);
            }
        }
        server_.stop();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    Launch& launch() {
        const size_t n = launches_.size();
        Launch run;
        run.out = dir_ / ("stdout" + std::to_string(n) + ".txt");
        run.err = dir_ / ("stderr" + std::to_string(n) + ".txt");
        run.pid = testsupport::startProcess(
            {VELMORA_APP_BINARY},
            {{"VELMORA_API_BASE", server_.baseURL()},
             {"VELMORA_TESSERA_BASE", "http://127.0.0.1:" + std::to_string(server_.port())},
             {"VELMORA_HOME", (dir_ / "home").string()},
             {"DISPLAY", display_}},
            run.out, run.err);
        launches_.push_back(run);
        return launches_.back();
    }

    // The launch's one window once the window manager shows it, with its size hints set.
    unsigned long windowOf(Launch& run) {
        unsigned long found = 0;
        EXPECT_TRUE(testsupport::waitForLaunch(
            run.pid,
            [&] {
                auto windows = probe_->windowsOf(run.pid);
                if (windows.size() != 1 || probe_->frameExtents(windows[0]).size() != 4) return false;
                if (!probe_->minimumSize(windows[0])) return false;
                found = windows[0];
                return true;
            },
            {run.out, run.err}))
            << "no managed window with its size hints";
        return found;
    }
    // Until the launch's window shows its first frame, as long as the launch makes progress.
    ::testing::AssertionResult firstFrame(const Launch& run, unsigned long window) {
        return testsupport::waitForLaunch(run.pid, [&] { return drawn(window); }, {run.out, run.err},
                                          {.stall = 60s});
    }
    // Whether the window shows its first frame: more than one colour. Until then the application's
    // main thread is busy drawing it (a software renderer compiles its shaders for it, seconds on a
    // crowded core), and whatever the main queue has to do, a quit among it, comes after that frame.
    bool drawn(unsigned long window) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(x_, window, &attributes) || attributes.map_state != IsViewable) return false;
        XImage* image = XGetImage(x_, window, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (!image) return false;
        const unsigned long first = XGetPixel(image, 0, 0);
        bool more = false;
        for (int y = 0; y < attributes.height && !more; y += 4)
            for (int x = 0; x < attributes.width && !more; x += 4)
                more = XGetPixel(image, x, y) != first;
        XDestroyImage(image);
        return more;
    }
    std::string logs(const Launch& run) {
        return testsupport::readFile(run.out) + testsupport::readFile(run.err);
    }
    void ends(Launch& run, std::chrono::seconds limit = 40s) {
        ASSERT_TRUE(eventually([&] { return run.exited(); }, limit)) << logs(run);
    }

    fs::path dir_;
    standin::StandinServer server_;
    std::string display_;
    std::unique_ptr<DesktopProbe> probe_;
    std::unique_ptr<rendertest::XTestInput> input_;
    Display* x_ = nullptr;
    // A deque, so that the reference launch() hands out stays good through later launches.
    std::deque<Launch> launches_;
};

TEST_F(WindowManagerTest, AFrameDragStopsAtTheMinimumAndMaximiseIsRefused) {
    Launch& app = launch();
    const unsigned long window = windowOf(app);
    ASSERT_NE(window, 0u) << logs(app);
    // The login window at its size: 800 by 500 with the title strip, so at least 800 wide.
    ASSERT_TRUE(eventually([&] { return probe_->contentRect(window).width == 800; })) << logs(app);
    // The window manager brings the window up to the minimum its hints ask for.
    std::optional<std::pair<int, int>> least;
    rendertest::XRect before;
    EXPECT_TRUE(eventually([&] {
        least = probe_->minimumSize(window);
        before = probe_->contentRect(window);
        return least && before.width >= least->first && before.height >= least->second;
    })) << "the window is "
        << before.width << " by " << before.height << ", less than its minimum";
    ASSERT_TRUE(least);
    // The content's minimum, not a token one: the menu bar's titles across, the logo, the title
    // and the whole form down.
    EXPECT_GE(least->first, 250);
    EXPECT_GE(least->second, 420);

    // Dragging the frame's bottom-right corner far up and left stops at the minimum.
    const auto extents = probe_->frameExtents(window);
    const int cornerX = before.x + before.width + static_cast<int>(extents[1]) - 1;
    const int cornerY = before.y + before.height + static_cast<int>(extents[3]) - 1;
    input_->drag(cornerX, cornerY, before.x + 60, before.y + 40);
    // The window manager configures the window in steps while the pointer moves; the drag's end is
    // the size it comes to rest at.
    const auto size = [&] {
        const rendertest::XRect now = probe_->contentRect(window);
        return std::pair{now.width, now.height};
    };
    EXPECT_EQ(testsupport::eventuallyEquals(std::pair{least->first, least->second}, size),
              std::pair(least->first, least->second))
        << "the drag did not stop at the minimum";
    const rendertest::XRect after = probe_->contentRect(window);

    // Maximise: not among the functions the window offers. Window managers that heed that (most
    // do; openbox keeps its maximise button whatever the hints say) refuse it, and a maximise
    // that happens all the same, from the title bar or a pager, is undone at once.
    const auto functions = probe_->motifFunctions(window);
    ASSERT_TRUE(functions);
    EXPECT_EQ(*functions & (1UL << 4), 0u) << "maximise is among the window's functions";
    EXPECT_NE(*functions & (1UL << 1), 0u) << "resizing is not among the window's functions";
    auto notMaximised = [&] {
        const auto states = probe_->states(window);
        const rendertest::XRect now = probe_->contentRect(window);
        return std::count(states.begin(), states.end(), "_NET_WM_STATE_MAXIMIZED_HORZ") == 0 &&
               now.width == after.width && now.height == after.height;
    };
    // Each request is given time to take effect before the window is checked.
    input_->click(after.x + after.width / 2, after.y - static_cast<int>(extents[2]) / 2, 2);
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(eventually(notMaximised)) << "a double click on the title bar maximised it";
    probe_->requestState(window, true, "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(eventually(notMaximised)) << "a pager's request maximised it";
    EXPECT_FALSE(app.exited()) << logs(app);
}

TEST_F(WindowManagerTest, ControlMMinimisesAndControlWOnTheLastWindowEndsTheProcess) {
    Launch& app = launch();
    const unsigned long window = windowOf(app);
    ASSERT_NE(window, 0u) << logs(app);
    ASSERT_TRUE(eventually([&] { return probe_->activeWindow() == window; })) << "the window has no focus";
    input_->key(XK_m, true);
    ASSERT_TRUE(eventually([&] { return probe_->iconic(window); })) << "Control+M did not minimise";

    // Restored from the desktop's list of windows (a pager activates it), it has the keyboard again
    // and Control+W closes it.
    probe_->activate(window);
    ASSERT_TRUE(eventually([&] { return !probe_->iconic(window) && probe_->activeWindow() == window; }))
        << "the window did not come back";
    input_->key(XK_w, true);
    ends(app);
    EXPECT_EQ(app.exitCode(), 0) << logs(app);
    EXPECT_NE(logs(app).find("Velmora stopped cleanly."), std::string::npos) << logs(app);
}

TEST_F(WindowManagerTest, ASecondLaunchOnTheSameDataFolderRaisesTheFirstAndExits) {
    Launch& first = launch();
    const unsigned long window = windowOf(first);
    ASSERT_NE(window, 0u) << logs(first);
    // Another window covers it and has the keyboard.
    const unsigned long cover = probe_->openPlainWindow(1000, 700);
    ASSERT_TRUE(eventually([&] {
        const auto order = probe_->stacking();
        return !order.empty() && order.back() == cover;
    })) << "the covering window did not come on top";

    Launch& second = launch();
    const pid_t secondPid = second.pid;
    ends(second);
    EXPECT_EQ(second.exitCode(), 0) << logs(second);
    EXPECT_NE(logs(second).find("is already running"), std::string::npos) << logs(second);
    EXPECT_TRUE(probe_->windowsOf(secondPid).empty());

    // The first one's window is on top of the other and has the keyboard.
    ASSERT_TRUE(eventually([&] {
        const auto order = probe_->stacking();
        return !order.empty() && order.back() == window && probe_->activeWindow() == window;
    })) << "the first launch's window was not brought forward";
    EXPECT_FALSE(launches_.front().exited()) << logs(launches_.front());

    // Minimised, it comes back from the desktop's list for the next launch, and on top.
    input_->key(XK_m, true);
    ASSERT_TRUE(eventually([&] { return probe_->iconic(window); })) << "Control+M did not minimise";
    Launch& third = launch();
    ends(third);
    EXPECT_EQ(third.exitCode(), 0) << logs(third);
    ASSERT_TRUE(eventually([&] {
        const auto order = probe_->stacking();
        return !probe_->iconic(window) && !order.empty() && order.back() == window &&
               probe_->activeWindow() == window;
    })) << "the minimised window was not restored and raised";

    // The lock and the socket are the user's alone, in a private folder.
    const fs::path data = dir_ / "home" / "data";
    struct stat info {};
    ASSERT_EQ(::stat((data / "velmora.lock").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((data / "velmora.socket").c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(data.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// A client connected to the Unix socket at `path`.
int connectedTo(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    return fd;
}

// How many connections to the single-instance socket the process `pid` has taken and holds: its
// Unix sockets that the kernel lists under the socket's name as connected.
size_t heldConnections(pid_t pid) {
    std::set<std::string> own;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "fd", ec)) {
        const std::string target = fs::read_symlink(entry.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) own.insert(target.substr(8, target.size() - 9));
    }
    std::istringstream table(testsupport::readFile("/proc/net/unix"));
    std::string line;
    size_t held = 0;
    while (std::getline(table, line)) {
        // Num RefCount Protocol Flags Type St Inode Path; St 03: connected.
        std::istringstream fields(line);
        std::string num, refs, protocol, flags, type, state, inode, path;
        fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path;
        if (state == "03" && own.count(inode) && path.ends_with("velmora.socket")) ++held;
    }
    return held;
}

// Clients of the same user that connect and say nothing are served beside the launches rather
// than before them: a later launch is answered at once, and quitting does not wait for them.
TEST_F(WindowManagerTest, SilentClientsDelayNeitherALaterLaunchNorTheQuit) {
    Launch& first = launch();
    const unsigned long window = windowOf(first);
    ASSERT_NE(window, 0u) << logs(first);
    const fs::path socket = dir_ / "home" / "data" / "velmora.socket";
    const auto holdSilentClients = [&] {
        std::vector<int> held;
        for (int i = 0; i < 6; ++i)
            held.push_back(connectedTo(socket));
        return held;
    };

    // A later launch waits a second at most for its answer: one served after the silent clients
    // (half a second each) is a launch that fails.
    std::vector<int> held = holdSilentClients();
    {
        Launch& second = launch();
        ends(second);
        EXPECT_EQ(second.exitCode(), 0) << logs(second);
        EXPECT_NE(logs(second).find("is already running"), std::string::npos) << logs(second);
    }

    // A quit while the running one holds silent clients ends, and cleanly. How long it takes is
    // the window's work here: the first frame, which the main thread draws before it takes the
    // quit, and closing the window, both seconds of a software renderer's work on a crowded core.
    // That the end does not wait for the clients is timed in-process (SingleInstanceTests.cpp).
    ASSERT_TRUE(firstFrame(first, window)) << "no first frame";
    // Quit while the running one holds them, not before it has taken any (nor after it has let
    // them go: then they come again).
    bool taken = false;
    for (int round = 0; round < 5 && !taken; ++round) {
        for (int fd : held)
            ::close(fd);
        held = holdSilentClients();
        taken = eventually([&] { return heldConnections(launches_.front().pid) > 0; });
    }
    ASSERT_TRUE(taken) << "the running one took none of the silent clients";
    ::kill(launches_.front().pid, SIGTERM);
    ends(launches_.front());
    EXPECT_EQ(launches_.front().exitCode(), 0) << logs(launches_.front());
    EXPECT_NE(logs(launches_.front()).find("Velmora stopped cleanly."), std::string::npos)
        << logs(launches_.front());
    for (int fd : held)
        ::close(fd);
}

// The sanitizers test whether memory is readable through a pipe they open; without a free
// descriptor their own checks fail and end the process, whatever it does. So the sanitizer build
// has no test of a process out of descriptors.
#if !defined(__SANITIZE_ADDRESS__)
// The CPU time, in clock ticks, of the thread of `pid` named `name`; -1 when there is none.
long threadTicks(pid_t pid, const std::string& name) {
    const fs::path tasks = fs::path("/proc") / std::to_string(pid) / "task";
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(tasks, ec)) {
        if (testsupport::readFile(task.path() / "comm") != name + "\n") continue;
        // utime and stime: the 14th and 15th fields, counted after the parenthesised name.
        const std::string stat = testsupport::readFile(task.path() / "stat");
        std::istringstream rest(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 13; ++i)
            rest >> field;
        long user = 0, system = 0;
        rest >> user >> system;
        return user + system;
    }
    return -1;
}

// Out of descriptors, the listener cannot take a waiting connection: it says so and tries again
// later rather than at once, and answers the next launch once descriptors are there again.
TEST_F(WindowManagerTest, TheListenerDoesNotSpinWhileOutOfDescriptors) {
    Launch& first = launch();
    const unsigned long window = windowOf(first);
    ASSERT_NE(window, 0u) << logs(first);
    ASSERT_TRUE(firstFrame(first, window)) << "no first frame";
    const pid_t pid = first.pid;
    ASSERT_GE(threadTicks(pid, "single-instance"), 0) << "no listener thread";

    // The process's descriptor limit lowered to its lowest free descriptor: none is left (not
    // none at all: a poll of more descriptors than the limit is refused). A connection waits for
    // the listener, and stays queued after its client is gone. Should another thread close a
    // descriptor meanwhile (start-up work still runs), the listener takes that connection: then
    // the limit is lowered again for another one.
    rlimit before{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &before), 0);
    const auto lowerTheLimit = [&] {
        std::set<long> open;
        for (const auto& entry : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "fd"))
            open.insert(std::stol(entry.path().filename().string()));
        long lowestFree = 0;
        while (open.count(lowestFree))
            ++lowestFree;
        rlimit none = before;
        none.rlim_cur = static_cast<rlim_t>(lowestFree);
        return ::prlimit(pid, RLIMIT_NOFILE, &none, nullptr) == 0;
    };
    const auto told = [&] {
        return logs(first).find("cannot take a later launch's connection") != std::string::npos;
    };
    for (int round = 0; round < 5 && !told(); ++round) {
        ASSERT_TRUE(lowerTheLimit());
        ::close(connectedTo(dir_ / "home" / "data" / "velmora.socket"));
        eventually(told);
    }
    // Once the listener has found that it cannot take the connection, a second of its CPU time is
    // looked at.
    const long ticksBefore = threadTicks(pid, "single-instance");
    std::this_thread::sleep_for(1s);
    const long spent = threadTicks(pid, "single-instance") - ticksBefore;
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &before, nullptr), 0);
    EXPECT_TRUE(told()) << logs(first);
    EXPECT_LE(spent * 1000 / ::sysconf(_SC_CLK_TCK), 50) << "milliseconds of CPU in one second";

    // With descriptors again, the listener takes the queued connection once its pause is over (up
    // to two seconds); the next launch is answered from then on.
    EXPECT_TRUE(eventually(
        [&] { return logs(first).find("answering later launches again") != std::string::npos; }, 60s))
        << logs(first);
    Launch& second = launch();
    ends(second);
    EXPECT_EQ(second.exitCode(), 0) << logs(second);
    EXPECT_FALSE(launches_.front().exited()) << logs(launches_.front());
}
#endif

// Ctrl+W on a sheet, or the window manager's close on it, closes that sheet; the main window stays
// and the tunnel stays up. The whole way there is the keyboard's: sign-in, connect, account menu.
TEST_F(WindowManagerTest, ClosingASheetClosesOnlyTheSheet) {
    Keyboard keys(display_);
    Launch& app = launch();
    const unsigned long window = windowOf(app);
    ASSERT_NE(window, 0u) << logs(app);
    ASSERT_TRUE(eventually([&] { return probe_->activeWindow() == window; })) << "the window has no focus";
    keys.press(XK_Tab);
    keys.type(standin::StandinServer::demoEmail());
    keys.press(XK_Tab);
    keys.type(standin::StandinServer::demoPassword());
    keys.press(XK_Return);
    ASSERT_TRUE(eventually([&] { return logs(app).find("users/me/regions") != std::string::npos; }))
        << logs(app);
    // The account menu, then the power button.
    keys.press(XK_Tab);
    keys.press(XK_Tab);
    keys.press(XK_space);
    const auto connected = [&] {
        const std::string text = logs(app);
        const size_t last = text.rfind("NEVPNConnection.status: ");
        return last != std::string::npos &&
               text.compare(last, 34, "NEVPNConnection.status: connected\n") == 0;
    };
    ASSERT_TRUE(eventually(connected)) << logs(app);
    keys.press(XK_Tab, true);

    // Opens the account menu's sheet `entry` (1: Settings, 2: Pricing, 3: Manage Devices).
    const auto openSheet = [&](int entry) -> unsigned long {
        keys.press(XK_space);
        for (int i = 0; i < entry; ++i)
            keys.press(XK_Down);
        keys.press(XK_Return);
        unsigned long sheet = 0;
        eventually([&] {
            for (unsigned long w : probe_->windowsOf(app.pid))
                if (w != window) sheet = w;
            return sheet != 0 && probe_->activeWindow() == sheet;
        });
        return sheet;
    };
    const auto onlyTheSheetClosed = [&](const char* how) {
        EXPECT_TRUE(eventually([&] { return probe_->windowsOf(app.pid).size() == 1; })) << how;
        std::this_thread::sleep_for(1s); // time enough to end, had the close reached the application
        ASSERT_FALSE(app.exited()) << how << " ended the application\n" << logs(app);
        EXPECT_EQ(probe_->windowsOf(app.pid), std::vector<unsigned long>{window}) << how;
        EXPECT_TRUE(connected()) << how << "\n" << logs(app);
        ASSERT_TRUE(eventually([&] { return probe_->activeWindow() == window; })) << how;
    };

    const unsigned long settings = openSheet(1);
    ASSERT_NE(settings, 0u) << "the settings sheet did not open";
    keys.press(XK_w, false, true);
    onlyTheSheetClosed("Control+W on the settings sheet");

    const unsigned long pricing = openSheet(2);
    ASSERT_NE(pricing, 0u) << "the plans sheet did not open";
    keys.requestClose(pricing);
    onlyTheSheetClosed("the window manager's close on the plans sheet");

    const unsigned long devices = openSheet(3);
    ASSERT_NE(devices, 0u) << "the devices sheet did not open";
    keys.requestClose(devices);
    onlyTheSheetClosed("the window manager's close on the devices sheet");

    // Without a sheet, Control+W closes the last window and so ends the application.
    keys.press(XK_w, false, true);
    ends(app);
    EXPECT_EQ(app.exitCode(), 0) << logs(app);
}

} // namespace
