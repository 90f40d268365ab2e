// Opening links: only web and mail links reach the opener, and the opener gets the link as one
// argument without a shell. The real `xdg-open` never runs here.
#include "platform/appkit/Workspace.h"
#include "platform/dispatch/RunLoop.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>

namespace {

using plat::URL;
using plat::Workspace;

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = Workspace::shared().setLauncherForTesting([this](const std::vector<std::string>& argv) {
            launches.push_back(argv);
            return true;
        });
    }
    void TearDown() override { Workspace::shared().setLauncherForTesting(previous_); }
    std::vector<std::vector<std::string>> launches;

private:
    Workspace::Launcher previous_;
};

TEST_F(WorkspaceTest, OpensWebAndMailLinksThroughTheOpener) {
    for (const char* text : {"https://velmora.io/reset_password", "HTTP://127.0.0.1:8080/a?b=c",
                             "mailto:support@velmora.io?subject=Hi%20there&body=x"}) {
        auto url = URL::string(text);
        ASSERT_TRUE(url) << text;
        EXPECT_TRUE(Workspace::shared().open(*url)) << text;
    }
    ASSERT_EQ(launches.size(), 3u);
    EXPECT_EQ(launches[0], (std::vector<std::string>{"xdg-open", "https://velmora.io/reset_password"}));
    EXPECT_EQ(launches[2][1], "mailto:support@velmora.io?subject=Hi%20there&body=x");
}

TEST_F(WorkspaceTest, RefusesEveryOtherSchemeAndWebLinksWithoutAHost) {
    for (const char* text :
         {"file:///etc/passwd", "javascript:alert(1)", "ftp://example.org/x", "smb://host/share",
          "x-velmora:open", "http:/no-host", "https:///path", "/relative/path"}) {
        auto url = URL::string(text);
        ASSERT_TRUE(url) << text;
        EXPECT_FALSE(Workspace::canOpen(*url)) << text;
        EXPECT_FALSE(Workspace::shared().open(*url)) << text;
    }
    EXPECT_TRUE(launches.empty());
}

TEST_F(WorkspaceTest, TheOpenerFailingToStartIsReported) {
    Workspace::shared().setLauncherForTesting([](const std::vector<std::string>&) { return false; });
    EXPECT_FALSE(Workspace::shared().open(*URL::string("https://velmora.io")));
}

// The real spawning path, with a stand-in program instead of the desktop's opener: the link,
// shell characters and all, arrives as one argument.
TEST(WorkspaceSpawnTest, PassesTheLinkAsOneArgumentWithoutAShell) {
    testsupport::TempHome home;
    const auto script = home.path() / "fake-opener";
    const auto out = home.path() / "received";
    testsupport::writeFile(script, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + out.string() +
                                       ".tmp'\nmv '" + out.string() + ".tmp' '" + out.string() + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    const std::string link = "https://127.0.0.1/$(touch%20pwned);x=`id`&y=1";
    ASSERT_TRUE(Workspace::spawnDetached({script.string(), link}));
    ASSERT_TRUE(plat::RunLoop::main().runUntil([&] { return std::filesystem::exists(out); }));
    EXPECT_EQ(testsupport::readFile(out), "1|" + link);
    EXPECT_FALSE(std::filesystem::exists(home.path() / "pwned"));
    EXPECT_FALSE(Workspace::spawnDetached({(home.path() / "missing-program").string(), link}));
}

// Whether the desktop opened a link, from the real opener's exit: an `xdg-open` of our own on PATH
// that succeeds or fails, and none at all.
TEST(WorkspaceSpawnTest, TellsWhetherTheOpenerOpenedTheLink) {
    testsupport::TempHome home;
    const std::string previousPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    auto outcome = [&](const std::string& script) {
        const auto bin = home.path() / "bin";
        std::filesystem::remove_all(bin);
        std::filesystem::create_directories(bin);
        if (!script.empty()) {
            testsupport::writeFile(bin / "xdg-open", "#!/bin/sh\n" + script + "\n");
            EXPECT_EQ(chmod((bin / "xdg-open").c_str(), 0755), 0);
        }
        setenv("PATH", bin.c_str(), 1);
        std::optional<bool> opened;
        Workspace::shared().open(*URL::string("https://velmora.example/reset_password"),
                                 [&](bool result) { opened = result; });
        EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return opened.has_value(); }));
        setenv("PATH", previousPath.c_str(), 1);
        return opened.value_or(true);
    };
    EXPECT_TRUE(outcome("exit 0"));
    EXPECT_FALSE(outcome("exit 3")) << "no browser to hand the link to";
    EXPECT_FALSE(outcome("")) << "no opener installed";
    // A refused link is told too, without starting anything.
    std::optional<bool> refused;
    Workspace::shared().open(*URL::string("file:///etc/passwd"), [&](bool result) { refused = result; });
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return refused.has_value(); }));
    EXPECT_EQ(refused, std::optional<bool>(false));
}

} // namespace
