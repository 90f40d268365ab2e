// The built `velmora` asked for its usage, its version, or given an argument it does not take, as
// a user types them in a terminal: the answer, the exit status a Linux program gives, and nothing
// made in an empty home (the XDG folders and the temporary folder point into it, $VELMORA_HOME is
// not set), so no folder was prepared and no data, lock or crash report written. Then a launch that
// must stop at once, on settings that are not the user's own.
#include "app/tour/DemoTour.h"
#include "platform/foundation/Bundle.h"
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Answer {
    int exitCode = -1;
    std::string out, err;
};

class VelmoraCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_directory(home());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path home() const { return dir_ / "home"; }

    // What the home holds, relative to it.
    std::vector<std::string> madeInHome() const {
        std::vector<std::string> made;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(home(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            made.push_back(fs::relative(it->path(), home()).string());
        return made;
    }

    // Runs the application with `args`; one that starts instead of answering is killed once it
    // has made something in the home (or, failing that, once it made no progress for the suite's
    // patience). With `toTheEnd`, a home that holds something already, it is given that patience
    // to end.
    Answer run(const std::vector<std::string>& args, bool toTheEnd = false) {
        std::vector<std::string> words{VELMORA_APP_BINARY};
        words.insert(words.end(), args.begin(), args.end());
        const std::string h = home().string();
        std::map<std::string, std::string> env{{"HOME", h},
                                               {"XDG_CONFIG_HOME", h + "/.config"},
                                               {"XDG_DATA_HOME", h + "/.local/share"},
                                               {"XDG_CACHE_HOME", h + "/.cache"},
                                               {"XDG_STATE_HOME", h + "/.local/state"},
                                               {"TMPDIR", h}};
        env.insert(extraEnv_.begin(), extraEnv_.end());
        const pid_t pid =
            testsupport::startProcess(words, env, dir_ / "out.txt", dir_ / "err.txt", nullptr,
                                      {"VELMORA_HOME", "VELMORA_BUNDLE", "VELMORA_TOUR_DIR", "DISPLAY",
                                       "VELMORA_DEMO_EMAIL", "VELMORA_DEMO_PASSWORD"});
        Answer answer;
        if (pid < 0) return answer;
        int status = 0;
        bool ended = false;
        const auto there = testsupport::waitForLaunch(
            pid,
            [&] {
                ended = ::waitpid(pid, &status, WNOHANG) == pid;
                return ended || (!toTheEnd && !madeInHome().empty());
            },
            {dir_ / "out.txt", dir_ / "err.txt"});
        const std::string stuck = there ? "" : std::string("\n") + there.message();
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        if (ended && WIFEXITED(status)) answer.exitCode = WEXITSTATUS(status);
        answer.out = testsupport::readFile(dir_ / "out.txt");
        answer.err = testsupport::readFile(dir_ / "err.txt") + stuck;
        return answer;
    }

    fs::path dir_;
    // More variables for the application (the demo account, say).
    std::map<std::string, std::string> extraEnv_;
};

TEST_F(VelmoraCommandLine, HelpAndVersionAnswerWithoutStartingTheApplication) {
    const Answer help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: velmora [OPTION]...\n", 0), 0u) << help.out;
    std::vector<std::string> missing;
    for (const char* named : {"--tour <folder>", "--help", "--version", "-TSRSessionsDebugEvents",
                              "-TSRDebugEnabled", "-TSRDebugDisabled", "-VelmoraSendUnsentCrashReports",
                              "-VelmoraDeleteUnsentCrashReports", "VELMORA_HOME", "VELMORA_API_BASE",
                              "VELMORA_TESSERA_BASE", "VELMORA_BUNDLE", "VELMORA_NETWORK_REACHABILITY"})
        if (help.out.find(named) == std::string::npos) missing.push_back(named);
    EXPECT_EQ(missing, std::vector<std::string>{}) << help.out;
    EXPECT_EQ(madeInHome(), std::vector<std::string>{});

    const Answer shortHelp = run({"-h"});
    EXPECT_EQ(shortHelp.exitCode, 0);
    EXPECT_EQ(shortHelp.out, help.out);

    plat::Bundle bundle(VELMORA_RESOURCES_DIR);
    const std::string version = bundle.objectForInfoDictionaryKey("CFBundleShortVersionString").string();
    ASSERT_FALSE(version.empty());
    const Answer answer = run({"--version"});
    EXPECT_EQ(answer.exitCode, 0) << answer.err;
    EXPECT_EQ(answer.out, "Velmora " + version + "\n");
    EXPECT_EQ(answer.err, "");
    EXPECT_EQ(madeInHome(), std::vector<std::string>{});
}

// The option the user got wrong is named, after the launch switches and the tour's folder that
// come before it were taken; a stray word is refused the same way.
TEST_F(VelmoraCommandLine, AMistakenArgumentIsNamedWithExitStatus2) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--frob"}, "velmora: unknown option '--frob'"},
        {{"-TSRSessionsDebugEvents", "-VelmoraSendUnsentCrashReports", "--tour", "shots", "--frob"},
         "velmora: unknown option '--frob'"},
        {{"--tour=shots", "-v"}, "velmora: unknown option '-v'"},
        {{"login"}, "velmora: unexpected argument 'login'"},
    };
    for (const auto& c : cases) {
        const Answer answer = run(c.args);
        EXPECT_EQ(answer.exitCode, 2) << c.error;
        EXPECT_EQ(answer.err, c.error + "\nTry 'velmora --help' for more information.\n");
        EXPECT_EQ(answer.out, "");
        EXPECT_EQ(madeInHome(), std::vector<std::string>{}) << c.error;
    }
}

// Settings another user left in the settings folder while it was open, and the folder made private
// since: the launch stops before it takes their values (their KillSwitch among them), naming the
// file, and leaves it as it was.
TEST_F(VelmoraCommandLine, SettingsOrSecretsOfAnotherUserStopTheLaunchBeforeAnythingChanges) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    // What another user left while the folders were open to them, which the user has closed since.
    const fs::path config = home() / ".config" / "velmora",
                   keychain = home() / ".local" / "share" / "velmora" / "keychain";
    for (const fs::path& planted :
         {config / "io.velmora.mac.plist", keychain / "genp-io.velmora.mac.items"}) {
        SCOPED_TRACE(planted);
        fs::remove_all(home());
        testsupport::plantAsAnotherUser(
            planted, "<plist version=\"1.0\"><dict><key>KillSwitch</key><false/></dict></plist>", 0666);
        for (fs::path folder = planted.parent_path(); folder != home(); folder = folder.parent_path())
            fs::permissions(folder, fs::perms(0700));
        fs::create_directories(config);
        const std::string before = testsupport::treeSnapshot(home()) + testsupport::fileFacts(planted);

        const Answer answer = run({}, true);
        EXPECT_EQ(answer.exitCode, 1) << answer.out << answer.err;
        EXPECT_NE(
            answer.err.find("velmora: " + planted.string() +
                            " belongs to another user (uid 4242, this is uid 0); Velmora uses only plain "
                            "files of its own user that no one else may write\n"),
            std::string::npos)
            << answer.err;
        EXPECT_EQ(answer.out.find("Settings:"), std::string::npos) << answer.out;
        EXPECT_EQ(testsupport::treeSnapshot(home()) + testsupport::fileFacts(planted), before);
    }
}

// An option where the tour's folder belongs is refused before anything is made, even when the demo
// account is set and the tour could run; a folder whose name starts with '-' is still reachable.
TEST_F(VelmoraCommandLine, AnOptionWhereTheToursFolderBelongsIsRefused) {
    extraEnv_ = {{"VELMORA_DEMO_EMAIL", "demo@velmora.example"}, {"VELMORA_DEMO_PASSWORD", "demo"}};
    const struct {
        std::vector<std::string> args;
        std::string option;
    } refused[] = {
        {{"--tour", "--help"}, "--help"},
        {{"-TSRDebugEnabled", "--tour", "-x"}, "-x"},
        {{"--tour", "--", "shots"}, "--"},
    };
    for (const auto& c : refused) {
        const Answer answer = run(c.args);
        EXPECT_EQ(answer.exitCode, 2) << c.option;
        EXPECT_EQ(answer.err, "velmora: --tour needs a folder for the screenshots, not the option '" +
                                  c.option + "' (write a folder whose name starts with '-' as './" +
                                  c.option + "')\nTry 'velmora --help' for more information.\n");
        EXPECT_EQ(answer.out, "") << c.option;
        EXPECT_EQ(madeInHome(), std::vector<std::string>{}) << c.option;
    }

    // Written as a path or after '=', such a folder is taken, and the launch gets as far as the
    // account, which is missing this time.
    extraEnv_.clear();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--tour", "./-x"}, {"--tour=-x"}}) {
        const Answer answer = run(args);
        const std::string& spelling = args.back();
        EXPECT_EQ(answer.exitCode, 2) << spelling;
        EXPECT_EQ(
            answer.err,
            "velmora: the tour signs in with $VELMORA_DEMO_EMAIL and $VELMORA_DEMO_PASSWORD; set both\n")
            << spelling;
        EXPECT_EQ(madeInHome(), std::vector<std::string>{}) << spelling;
    }

    // The tour reads the command line the same way.
    setenv("VELMORA_DEMO_EMAIL", "demo@velmora.example", 1);
    setenv("VELMORA_DEMO_PASSWORD", "demo", 1);
    EXPECT_THROW(DemoTour::fromCommandLine({"velmora", "--tour", "--help"}), std::invalid_argument);
    const auto options = DemoTour::fromCommandLine({"velmora", "--tour", "./-x"});
    unsetenv("VELMORA_DEMO_EMAIL");
    unsetenv("VELMORA_DEMO_PASSWORD");
    ASSERT_TRUE(options);
    EXPECT_EQ(options->folder, fs::absolute("./-x"));
}

} // namespace
