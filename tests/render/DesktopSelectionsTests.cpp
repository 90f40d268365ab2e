// The desktop's selections against other X clients: text another program (xclip) owns is read,
// large text through an incremental transfer and text above the limit refused; an owner that never
// answers costs a bounded wait; what we own is served to the other program as UTF-8 and Latin-1 and
// given up when it takes the selection over, even before our side has heard of it. The conversions of property bytes stand on their own.
#include "platform/render/DesktopSelections.h"
#include "tests/render/XServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using plat::render::DesktopSelections;
using Selection = DesktopSelections::Selection;

// xclip serving `text` on `selection` until it loses it or is stopped.
class Owner {
public:
    Owner(const std::string& text, const char* selection) {
        // Whoever owns it before: a program stopped a moment ago may still be named for a while.
        if (Display* x = XOpenDisplay(nullptr)) {
            atom_ = XInternAtom(x, selection == std::string("primary") ? "PRIMARY" : "CLIPBOARD", False);
            before_ = XGetSelectionOwner(x, atom_);
            XCloseDisplay(x);
        }
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[0], 0);
            ::close(fds[1]);
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            ::execl("/usr/bin/xclip", "xclip", "-quiet", "-selection", selection, "-i",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[0]);
        for (std::size_t at = 0; at < text.size();) {
            const auto n = ::write(fds[1], text.data() + at, text.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        ::close(fds[1]);
    }
    ~Owner() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    // Waits until the program owns the selection: the server names another owner than before.
    bool ready() {
        Display* x = XOpenDisplay(nullptr);
        if (!x) return false;
        const bool owned = testsupport::eventually([&] {
            const Window now = XGetSelectionOwner(x, atom_);
            return now != None && now != before_;
        });
        XCloseDisplay(x);
        return owned;
    }

private:
    pid_t pid_ = -1;
    Atom atom_ = None;
    Window before_ = None;
};

std::string xclipOut(const char* selection, const char* target) {
    return testsupport::runCommand(std::string("/usr/bin/xclip -o -selection ") + selection + " -t " +
                                   target + " 2>&1");
}

class DesktopSelectionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        ASSERT_EQ(::access("/usr/bin/xclip", X_OK), 0)
            << "xclip is not installed (scripts/deps.sh installs it)";
        selections = DesktopSelections::shared();
        ASSERT_NE(selections, nullptr);
    }
    DesktopSelections* selections = nullptr;
};

TEST_F(DesktopSelectionsTest, ReadsWhatAnotherProgramOwnsUpToTheLimit) {
    {
        Owner owner("grüße@example.org", "clipboard");
        ASSERT_TRUE(owner.ready());
        EXPECT_EQ(selections->read(Selection::clipboard), "grüße@example.org");
    }
    {
        // Larger than one request: the owner sends it in pieces.
        std::string big(3u << 20, 'a');
        big.back() = 'z';
        Owner owner(big, "primary");
        ASSERT_TRUE(owner.ready());
        const auto read = selections->read(Selection::primary, 10s);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->size(), big.size());
        EXPECT_EQ(*read, big);
    }
    {
        Owner owner(std::string(DesktopSelections::kMaxBytes + 1000, 'b'), "clipboard");
        ASSERT_TRUE(owner.ready());
        EXPECT_FALSE(selections->read(Selection::clipboard, 10s)) << "above the limit nothing is taken";
    }
    {
        // A text that came after a refused one is read as usual.
        Owner owner("after", "clipboard");
        ASSERT_TRUE(owner.ready());
        EXPECT_EQ(selections->read(Selection::clipboard), "after");
    }
}

TEST_F(DesktopSelectionsTest, AnOwnerThatNeverAnswersCostsABoundedWait) {
    Display* silent = XOpenDisplay(nullptr);
    ASSERT_NE(silent, nullptr);
    const Window window = XCreateSimpleWindow(silent, DefaultRootWindow(silent), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent, XInternAtom(silent, "CLIPBOARD", False), window, CurrentTime);
    XSync(silent, False);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(selections->read(Selection::clipboard, 300ms));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 2s);
    XCloseDisplay(silent); // the selection goes with its owner
    EXPECT_FALSE(selections->read(Selection::clipboard, 300ms)) << "no owner";
}

TEST_F(DesktopSelectionsTest, WhatWeOwnIsServedUntilAnotherProgramTakesItOver) {
    // Another client holds the clipboard first: the server naming anyone else then says our claim,
    // which the selections' thread makes after own() returned, is made.
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    const Atom clipboard = XInternAtom(x, "CLIPBOARD", False);
    const Window before = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(x, clipboard, before, CurrentTime);
    XSync(x, False);
    selections->own(Selection::clipboard, "café ☕");
    // Ours without a transfer, at once and all the while the claim is on its way.
    std::optional<std::string> read;
    EXPECT_TRUE(testsupport::eventually([&] {
        read = selections->read(Selection::clipboard, 50ms);
        const Window owner = XGetSelectionOwner(x, clipboard);
        return read != "café ☕" || (owner != None && owner != before);
    })) << "the server never named us the owner";
    EXPECT_EQ(read, "café ☕");
    XCloseDisplay(x);
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), "café ☕");
    EXPECT_EQ(xclipOut("clipboard", "STRING"), "caf\xE9 ?") << "Latin-1 where it can be";
    const std::string targets = xclipOut("clipboard", "TARGETS");
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
    EXPECT_TRUE(selections->owns(Selection::clipboard));

    Owner other("theirs", "clipboard");
    ASSERT_TRUE(other.ready());
    EXPECT_TRUE(testsupport::eventually([&] { return !selections->owns(Selection::clipboard); }));
    EXPECT_EQ(selections->read(Selection::clipboard), "theirs");
}

// Another program takes the selection and a paste follows at once: what is read is never our own
// text any more, though the news of the takeover may not have reached our side yet.
TEST_F(DesktopSelectionsTest, APasteRightAfterATakeoverIsNotOurOwnText) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const Atom clipboard = XInternAtom(other, "CLIPBOARD", False);
    const Window window = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
    for (int round = 0; round < 20; ++round) {
        const std::string ours = "ours " + std::to_string(round);
        selections->own(Selection::clipboard, ours);
        // Once the server no longer names the other program, which answers nothing (a paste asked
        // of it would wait for ever), our claim is made and ours is what a paste gets.
        ASSERT_TRUE(testsupport::eventually([&] {
            const Window owner = XGetSelectionOwner(other, clipboard);
            return owner != None && owner != window;
        }));
        ASSERT_EQ(testsupport::eventuallyEquals(ours, [] { return xclipOut("clipboard", "UTF8_STRING"); }), ours);
        XSetSelectionOwner(other, clipboard, window, CurrentTime);
        XSync(other, False);
        // The other program answers no request (it reads no events): none, after the short wait.
        EXPECT_NE(selections->read(Selection::clipboard, 50ms), ours) << "round " << round;
    }
    XCloseDisplay(other);
}

TEST(DesktopSelectionsText, PropertyBytesBecomeUTF8TextOrNothing) {
    EXPECT_EQ(DesktopSelections::textFromProperty("plain", false), "plain");
    EXPECT_EQ(DesktopSelections::textFromProperty("\xE9t\xE9", true), "\xC3\xA9t\xC3\xA9");
    EXPECT_FALSE(DesktopSelections::textFromProperty("\xE9t\xE9", false)) << "not UTF-8 as declared";
    EXPECT_FALSE(DesktopSelections::textFromProperty(std::string("a\0b", 3), false));
    EXPECT_EQ(DesktopSelections::textFromProperty("", false), "");
    EXPECT_EQ(DesktopSelections::latin1FromText("\xC3\xA9\xE2\x98\x95x\xF0\x9F\x98\x80"), "\xE9?x?");
    EXPECT_EQ(DesktopSelections::latin1FromText("\xC3"), "?") << "a cut sequence";
}

} // namespace
