// The built `velmora` and another program sharing the desktop's clipboard, as a user meets them: on
// a display of its own with a window manager (openbox), another X client (xclip) puts the demo
// account's address and then its password on the clipboard, and real key presses (XTEST: Tab,
// Control+V, Return) paste them into the login window's fields and sign in. What the application
// copies (Control+A, Control+C) reaches the other program through the clipboard and the primary
// selection.
#include "standin/StandinServer.h"
#include "tests/render/DesktopProbe.h"
#include "tests/render/WindowManager.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
    return testsupport::waitFor(done, limit);
}

// Another program on `display`, its output in `out` (or nowhere), reading `input` when given.
pid_t spawn(const std::vector<std::string>& argv, const std::string& display, const fs::path& out = {},
            const std::string* input = nullptr) {
    return testsupport::startProcess(argv, {{"DISPLAY", display}}, out, {}, input);
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
        if (::access("/usr/bin/xclip", X_OK) != 0) GTEST_SKIP() << "xclip is not installed";
        std::string why;
        const auto display = rendertest::windowManagerDisplay(&why);
        if (!display) GTEST_SKIP() << why;
        display_ = *display;
        probe_ = std::make_unique<rendertest::DesktopProbe>(display_);
        input_ = std::make_unique<rendertest::XTestInput>(display_);
        ASSERT_TRUE(probe_->connected());
        ASSERT_TRUE(input_->available());
        char pattern[] = "/tmp/velmora-clipboard-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        server_.start(0);
    }
    void TearDown() override {
        stop(xclip_);
        stop(app_);
        server_.stop();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // The application's window, once the window manager manages it and has given it the keyboard.
    bool appWindowActive() {
        const unsigned long active = probe_->activeWindow();
        const auto own = probe_->windowsOf(app_);
        return active != 0 && std::find(own.begin(), own.end(), active) != own.end();
    }

    // A key press and release through the X server's test extension, with Control held when asked.
    void key(unsigned long sym, bool control = false) {
        input_->key(sym, control);
        // The application takes each key on a later turn of its loop.
        std::this_thread::sleep_for(300ms);
    }

    // Another program owns the clipboard with `text` (the last one it owned gives it up).
    void putOnClipboard(const std::string& text) {
        stop(xclip_);
        xclip_ = spawn({"/usr/bin/xclip", "-quiet", "-selection", "clipboard", "-i"}, display_, {}, &text);
        // Serving once it owns the selection.
        ASSERT_TRUE(eventually([&] { return probe_->selectionOwned("CLIPBOARD"); }, 5s));
        std::this_thread::sleep_for(200ms);
    }

    // What another program reads from `selection`.
    std::string readSelection(const char* selection) {
        const fs::path out = dir_ / "xclip-out.txt";
        pid_t reader = spawn({"/usr/bin/xclip", "-o", "-selection", selection}, display_, out);
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
    std::unique_ptr<rendertest::DesktopProbe> probe_;
    std::unique_ptr<rendertest::XTestInput> input_;
    pid_t app_ = -1, xclip_ = -1;
    standin::StandinServer server_;
};

TEST_F(ClipboardOnDisplay, AnotherProgramsClipboardPastesIntoTheLoginFieldsAndOurCopyReachesIt) {
    app_ = testsupport::startProcess(
        {VELMORA_APP_BINARY},
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
