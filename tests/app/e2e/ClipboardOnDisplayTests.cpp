// The built `velmora` and another program sharing the desktop's clipboard, as a user meets them: on
// a display of its own with a window manager (openbox), another X client (xclip) puts the demo
// account's address and then its password on the clipboard, and real key presses (XTEST: Tab,
// Control+V, Return) paste them into the login window's fields and sign in. What the application
// copies (Control+A, Control+C) reaches the other program through the clipboard and the primary
// selection.
#include "standin/StandinServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

// Starts `argv` with `env` added to the environment, its output in `out` (or nowhere); its stdin
// reads `input` when given (then closed), else nothing.
pid_t spawn(std::vector<std::string> argv, const std::map<std::string, std::string>& env, const fs::path& out,
            const std::string* input = nullptr) {
    std::vector<std::string> variables;
    for (char** v = environ; *v; ++v) {
        const std::string entry = *v;
        if (!env.contains(entry.substr(0, entry.find('=')))) variables.push_back(entry);
    }
    for (const auto& [name, value] : env)
        variables.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (auto& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (input && ::pipe(pipeFds) != 0) return -1;
    const int sink =
        ::open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(sink, 1);
        ::dup2(sink, 2);
        if (input) {
            ::dup2(pipeFds[0], 0);
            ::close(pipeFds[1]);
        } else {
            const int none = ::open("/dev/null", O_RDONLY);
            ::dup2(none, 0);
        }
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(sink);
    if (input) {
        ::close(pipeFds[0]);
        [[maybe_unused]] auto n = ::write(pipeFds[1], input->data(), input->size());
        ::close(pipeFds[1]);
    }
    return pid;
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(50ms);
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    pid = -1;
}

class ClipboardOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/xclip"})
            if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is not installed";
        char pattern[] = "/tmp/velmora-clipboard-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_TRUE(startDesktop());
        server_.start(0);
    }
    void TearDown() override {
        stop(xclip_);
        stop(app_);
        if (x_) XCloseDisplay(x_);
        stop(windowManager_);
        stop(server_pid_);
        server_.stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // An X server of this test's own with openbox managing it.
    bool startDesktop() {
        for (int n = 400 + static_cast<int>(::getpid() % 150); n < 700; ++n) {
            std::error_code ec;
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock", ec) || fs::exists(socket, ec)) continue;
            display_ = ":" + std::to_string(n);
            server_pid_ = spawn(
                {"/usr/bin/Xvfb", display_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {}, {});
            if (!eventually([&] { return fs::exists(socket, ec); }, 5s)) {
                stop(server_pid_);
                continue;
            }
            x_ = XOpenDisplay(display_.c_str());
            if (!x_) return false;
            windowManager_ = spawn({"/usr/bin/openbox", "--sm-disable"}, {{"DISPLAY", display_}}, {});
            return eventually(
                [&] { return !cardinals(DefaultRootWindow(x_), "_NET_SUPPORTING_WM_CHECK").empty(); }, 10s);
        }
        return false;
    }

    std::vector<unsigned long> cardinals(Window window, const char* property) {
        std::vector<unsigned long> out;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(x_, window, XInternAtom(x_, property, False), 0, 1024, False, AnyPropertyType,
                               &type, &format, &count, &after, &data) == Success &&
            data && format == 32) {
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            out.assign(values, values + count);
        }
        if (data) XFree(data);
        return out;
    }

    // The application's window, once the window manager manages it and has given it the keyboard.
    bool appWindowActive() {
        const auto active = cardinals(DefaultRootWindow(x_), "_NET_ACTIVE_WINDOW");
        if (active.empty() || active[0] == 0) return false;
        const auto pid = cardinals(active[0], "_NET_WM_PID");
        return !pid.empty() && static_cast<pid_t>(pid[0]) == app_;
    }

    // A key press and release through the X server's test extension, with Control held when asked.
    void key(KeySym sym, bool control = false) {
        const KeyCode ctrl = XKeysymToKeycode(x_, XK_Control_L);
        if (control) XTestFakeKeyEvent(x_, ctrl, True, CurrentTime);
        XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, sym), True, CurrentTime);
        XTestFakeKeyEvent(x_, XKeysymToKeycode(x_, sym), False, CurrentTime);
        if (control) XTestFakeKeyEvent(x_, ctrl, False, CurrentTime);
        XSync(x_, False);
        // The application takes each key on a later turn of its loop.
        std::this_thread::sleep_for(300ms);
    }

    // Another program owns the clipboard with `text` (the last one it owned gives it up).
    void putOnClipboard(const std::string& text) {
        stop(xclip_);
        xclip_ = spawn({"/usr/bin/xclip", "-quiet", "-selection", "clipboard", "-i"}, {{"DISPLAY", display_}},
                       {}, &text);
        // Serving once it owns the selection.
        const Atom clipboard = XInternAtom(x_, "CLIPBOARD", False);
        ASSERT_TRUE(eventually([&] { return XGetSelectionOwner(x_, clipboard) != None; }, 5s));
        std::this_thread::sleep_for(200ms);
    }

    // What another program reads from `selection`.
    std::string readSelection(const char* selection) {
        const fs::path out = dir_ / "xclip-out.txt";
        pid_t reader = spawn({"/usr/bin/xclip", "-o", "-selection", selection}, {{"DISPLAY", display_}}, out);
        int status = 0;
        eventually([&] { return ::waitpid(reader, &status, WNOHANG) == reader; }, 5s);
        return testsupport::readFile(out);
    }

    bool requested(const std::string& pathPart) {
        for (const auto& r : server_.requests())
            if (r.path.find(pathPart) != std::string::npos) return true;
        return false;
    }

    fs::path dir_;
    std::string display_;
    Display* x_ = nullptr;
    pid_t server_pid_ = -1, windowManager_ = -1, app_ = -1, xclip_ = -1;
    standin::StandinServer server_;
};

TEST_F(ClipboardOnDisplay, AnotherProgramsClipboardPastesIntoTheLoginFieldsAndOurCopyReachesIt) {
    app_ = spawn({VELMORA_APP_BINARY},
                 {{"DISPLAY", display_},
                  {"VELMORA_API_BASE", server_.baseURL()},
                  {"VELMORA_TESSERA_BASE", "http://127.0.0.1:" + std::to_string(server_.port())},
                  {"VELMORA_HOME", (dir_ / "home").string()}},
                 dir_ / "app.txt");
    ASSERT_TRUE(eventually([&] { return appWindowActive(); })) << testsupport::readFile(dir_ / "app.txt");
    std::this_thread::sleep_for(1s); // the login form drawn

    // Tab reaches the e-mail field first; the address comes from the other program.
    const std::string email = standin::StandinServer::demoEmail();
    putOnClipboard(email);
    key(XK_Tab);
    key(XK_v, true);

    // Copied back out: the other program reads the field's text from us, and its selection too.
    key(XK_a, true);
    key(XK_c, true);
    EXPECT_EQ(readSelection("clipboard"), email);
    EXPECT_EQ(readSelection("primary"), email);

    // The password field takes a paste as well, but gives nothing out; Return signs in with both.
    putOnClipboard(standin::StandinServer::demoPassword());
    key(XK_Tab);
    key(XK_v, true);
    putOnClipboard("kept");
    key(XK_a, true);
    key(XK_c, true);
    EXPECT_EQ(readSelection("clipboard"), "kept");
    key(XK_Return);
    EXPECT_TRUE(eventually([&] { return requested("region"); }))
        << "signed in with the pasted address and password; the stand-in saw:\n"
        <<
        [&] {
            std::string paths;
            for (const auto& r : server_.requests())
                paths += r.method + " " + r.path + "\n";
            return paths;
        }()
        << testsupport::readFile(dir_ / "app.txt");
}

} // namespace
