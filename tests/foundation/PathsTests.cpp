// Where the folders are, atomic writes and the sweep of their leftovers. How the folders are checked
// and made private at a launch is in PrivateFoldersTests.cpp.
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace plat;

using testsupport::modeOf;
using testsupport::ScopedEnv;

TEST(Paths, VelmoraHomeRootsEveryFolder) {
    testsupport::TempHome home;
    ScopedEnv xdg("XDG_CONFIG_HOME", "/elsewhere/config");
    EXPECT_EQ(paths::configDir(), home.path() / "config");
    EXPECT_EQ(paths::applicationSupportDir(), home.path() / "data");
    EXPECT_EQ(paths::cachesDir(), home.path() / "cache");
    EXPECT_EQ(paths::keychainDir(), home.path() / "data" / "keychain");
    EXPECT_EQ(paths::vpnDir(), home.path() / "data" / "vpn");
    EXPECT_EQ(paths::autostartDir(), home.path() / "autostart");

    // Computed on every call: a second home takes effect at once.
    testsupport::TempHome second;
    EXPECT_EQ(paths::configDir(), second.path() / "config");
}

TEST(Paths, XdgFoldersAndTheirFallbacks) {
    ScopedEnv noHome("VELMORA_HOME", nullptr);
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv c("XDG_CONFIG_HOME", "/x/config"), d("XDG_DATA_HOME", "/x/data"),
            k("XDG_CACHE_HOME", "/x/cache");
        EXPECT_EQ(paths::configDir(), fs::path("/x/config/velmora"));
        EXPECT_EQ(paths::applicationSupportDir(), fs::path("/x/data/velmora"));
        EXPECT_EQ(paths::cachesDir(), fs::path("/x/cache/velmora"));
        EXPECT_EQ(paths::keychainDir(), fs::path("/x/data/velmora/keychain"));
        EXPECT_EQ(paths::autostartDir(), fs::path("/x/config/autostart"));
    }
    {
        // Unset, empty and relative values all fall back to the folders below $HOME.
        ScopedEnv c("XDG_CONFIG_HOME", nullptr), d("XDG_DATA_HOME", ""),
            k("XDG_CACHE_HOME", "relative/cache");
        EXPECT_EQ(paths::configDir(), fs::path("/home/tester/.config/velmora"));
        EXPECT_EQ(paths::applicationSupportDir(), fs::path("/home/tester/.local/share/velmora"));
        EXPECT_EQ(paths::cachesDir(), fs::path("/home/tester/.cache/velmora"));
        EXPECT_EQ(paths::autostartDir(), fs::path("/home/tester/.config/autostart"));
    }
}

TEST(Paths, BundleFromEnvironmentOrBesideExecutable) {
    {
        ScopedEnv b("VELMORA_BUNDLE", "/opt/velmora/resources");
        EXPECT_EQ(paths::bundleDir(), fs::path("/opt/velmora/resources"));
    }
    ScopedEnv b("VELMORA_BUNDLE", nullptr);
    EXPECT_EQ(paths::bundleDir(), fs::read_symlink("/proc/self/exe").parent_path() / "resources");
}

TEST(Paths, AtomicWriteAppliesModeAndReplacesWholeFile) {
    testsupport::TempHome home;
    const fs::path dir = home.path() / "a" / "b";
    const fs::path file = dir / "secret.bin";
    std::string bytes("x\0y", 3);

    struct Case {
        fs::perms mode;
        std::string contents;
    };
    for (const Case& c : {Case{fs::perms(0600), bytes}, Case{fs::perms(0644), "second, longer content"},
                          Case{fs::perms(0640), ""}}) {
        ASSERT_TRUE(paths::writeFileAtomically(file, c.contents, c.mode));
        EXPECT_EQ(modeOf(file), static_cast<mode_t>(c.mode));
        EXPECT_EQ(paths::readFile(file), c.contents);
    }
    // No temporary file is left beside the result.
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(Paths, AtomicWriteFailureKeepsOldContentAndLeavesNoTemporary) {
    testsupport::TempHome home;
    // The rename onto a non-empty folder fails whatever the privileges.
    const fs::path target = home.path() / "w" / "occupied";
    ASSERT_TRUE(paths::writeFileAtomically(target / "inner.txt", "old"));
    EXPECT_FALSE(paths::writeFileAtomically(target, "new"));
    EXPECT_EQ(paths::readFile(target / "inner.txt"), "old");
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(target.parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1u);

    if (::geteuid() != 0) {
        const fs::path file = home.path() / "locked" / "f.txt";
        ASSERT_TRUE(paths::writeFileAtomically(file, "old"));
        fs::permissions(file.parent_path(), fs::perms(0500));
        EXPECT_FALSE(paths::writeFileAtomically(file, "new"));
        fs::permissions(file.parent_path(), fs::perms(0700));
        EXPECT_EQ(paths::readFile(file), "old");
    }
}

TEST(Paths, EnsureDirectoryModeAndReadMissing) {
    testsupport::TempHome home;
    const fs::path dir = home.path() / "k1" / "k2";
    ASSERT_TRUE(paths::ensureDirectory(dir));
    EXPECT_EQ(modeOf(dir), 0700u);
    EXPECT_EQ(modeOf(dir.parent_path()), 0700u);
    EXPECT_TRUE(paths::ensureDirectory(dir)); // already there
    EXPECT_FALSE(paths::readFile(dir / "missing").has_value());
    // A path whose parent is a regular file cannot become a folder.
    ASSERT_TRUE(paths::writeFileAtomically(home.path() / "plain", "x"));
    EXPECT_FALSE(paths::ensureDirectory(home.path() / "plain" / "sub"));
}

namespace {

std::vector<std::string> temporaryFiles(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(".tmp-") != std::string::npos)
            names.push_back(e.path().filename().string());
    return names;
}

// Whether another open file holds an exclusive lock on `path`.
bool lockedElsewhere(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

} // namespace

TEST(Paths, OnlyTemporaryFilesOfDeadWritersAreRemoved) {
    testsupport::TempHome home;
    const fs::path dir = home.path() / "store";
    ASSERT_TRUE(paths::ensureDirectory(dir));

    // A child writes a large file over and over; it is stopped while a temporary file exists, so
    // it is a live writer in the middle of a write.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string big(8 << 20, 's');
        for (;;)
            paths::writeFileAtomically(dir / "secrets.items", big, fs::perms(0600));
    }
    std::vector<std::string> held;
    for (int tries = 0; tries < 20000 && held.empty(); ++tries) {
        if (temporaryFiles(dir).empty()) continue;
        ::kill(child, SIGSTOP);
        int status = 0;
        ::waitpid(child, &status, WUNTRACED);
        held = temporaryFiles(dir);
        // Stopped between creating the file and locking it, it would not count as live yet.
        if (held.size() != 1 || !lockedElsewhere(dir / held[0])) {
            held.clear();
            ::kill(child, SIGCONT);
        }
    }
    if (held.empty()) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        FAIL() << "the writer never showed a temporary file";
    }
    EXPECT_EQ(paths::removeStaleTemporaryFiles(dir), 0u);
    EXPECT_EQ(temporaryFiles(dir), held);

    // Killed mid-write, it leaves the file behind; nobody holds it any more.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(temporaryFiles(dir), held);
    EXPECT_EQ(paths::removeStaleTemporaryFiles(dir), 1u);
    EXPECT_TRUE(temporaryFiles(dir).empty());
}

TEST(Paths, SweepingMatchesOnlyTemporaryNamesOfTheGivenFile) {
    testsupport::TempHome home;
    const fs::path dir = home.path() / "shared";
    for (const char* name : {".a.plist.tmp-Ab12Cd", ".b.plist.tmp-XYZ789", "a.plist", ".a.plist.tmp-short",
                             ".a.plist.tmp-ab_12c", "a.plist.tmp-Ab12Cd"})
        testsupport::writeFile(dir / name, "x");
    fs::create_directory(dir / ".c.plist.tmp-Folder");
    EXPECT_EQ(paths::removeStaleTemporaryFiles(dir, "a.plist"), 1u);
    EXPECT_FALSE(fs::exists(dir / ".a.plist.tmp-Ab12Cd"));
    EXPECT_EQ(paths::removeStaleTemporaryFiles(dir), 1u);
    EXPECT_FALSE(fs::exists(dir / ".b.plist.tmp-XYZ789"));
    for (const char* kept : {"a.plist", ".a.plist.tmp-short", ".a.plist.tmp-ab_12c", "a.plist.tmp-Ab12Cd",
                             ".c.plist.tmp-Folder"})
        EXPECT_TRUE(fs::exists(dir / kept)) << kept;
    // Writes beside a sweep still land.
    EXPECT_TRUE(paths::writeFileAtomically(dir / "a.plist", "new"));
    EXPECT_EQ(paths::readFile(dir / "a.plist"), "new");
}

// Under a folder that is private now, another user left a link to a folder of the user's elsewhere
// and a folder of their own while it was open. No operation goes through either or changes them,
// and each refusal names the entry; the user's own folder beside them still works.
TEST(Paths, WhatAnotherUserLeftBelowAFolderIsNeitherFollowedNorChanged) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes entries of another user
    testsupport::TempHome home;
    const fs::path data = home.path() / "data", elsewhere = home.path() / "Documents";
    fs::create_directories(elsewhere);
    testsupport::writeFile(elsewhere / "report.txt", "mine");
    fs::create_directories(data / "theirs");
    fs::create_directory_symlink(elsewhere, data / "linked");
    for (const char* entry : {"theirs", "linked"})
        ASSERT_EQ(::lchown((data / entry).c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
    fs::permissions(data, fs::perms(0700));
    const std::string before = testsupport::treeSnapshot(home.path());

    for (const char* entry : {"theirs", "linked"}) {
        SCOPED_TRACE(entry);
        const fs::path below = data / entry;
        const std::string why = below.string() + " ";
        const auto names = [&](const std::optional<paths::FileProblem>& problem) {
            return problem && problem->refused && problem->text.find(why) != std::string::npos;
        };
        EXPECT_TRUE(names(paths::writeOwnFile(below / "report.txt", "x", 1, 0600, false, true)));
        EXPECT_TRUE(names(paths::removeOwn(below / "report.txt")));
        EXPECT_TRUE(names(paths::removeOwn(below, true)));
        EXPECT_TRUE(names(paths::renameOwn(data / "mine", below / "report.txt")));
        EXPECT_FALSE(paths::ensureDirectory(below / "deeper"));
        EXPECT_FALSE(paths::moveAside(below / "report.txt"));
        EXPECT_EQ(paths::removeStaleTemporaryFilesBelow(data), 0u);
        paths::FileProblem problem;
        EXPECT_FALSE(paths::folderNames(below, &problem));
        EXPECT_NE(problem.text.find(why), std::string::npos) << problem.text;
        EXPECT_FALSE(paths::openOwnFile(below / "report.txt", O_WRONLY | O_TRUNC));
        const paths::OwnFile read = paths::readOwnFile(below / "report.txt");
        EXPECT_EQ(read.state, paths::OwnFile::State::Refused);
        EXPECT_NE(read.problem.find(why), std::string::npos) << read.problem;
        EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
    }
    EXPECT_TRUE(paths::writeFileAtomically(data / "mine" / "state", "ours"));
    EXPECT_EQ(paths::readOwnFile(data / "mine" / "state").bytes, "ours");
    EXPECT_FALSE(paths::removeOwn(data / "mine", true));
    EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
}

// A reader racing a writer that replaces the file (a temporary file renamed over it) sees the old
// file or the new one, never an unreadable one.
TEST(Paths, AReaderRacingAnAtomicReplaceReadsTheOldFileOrTheNew) {
    testsupport::TempHome home;
    const fs::path file = home.path() / "data" / "state";
    const std::string versions[] = {std::string(100, 'a'), std::string(200, 'b')};
    ASSERT_TRUE(paths::writeFileAtomically(file, versions[0]));
    // In a child, so that what 20,000 reads allocate stays out of this process's peak memory.
    const std::string said = testsupport::inChild([&] {
        std::atomic<bool> reading{true};
        std::atomic<int> replaced{0};
        std::thread writer([&] {
            for (int i = 1; reading.load(); ++i) {
                const std::string& bytes = versions[i % 2];
                if (!paths::writeOwnFile(file, bytes.data(), bytes.size())) replaced.fetch_add(1);
            }
        });
        int unreadable = 0, other = 0;
        for (int i = 0; i < 20'000; ++i) {
            const paths::OwnFile read = paths::readOwnFile(file);
            if (read.state == paths::OwnFile::State::Unreadable) ++unreadable;
            else if (read.state != paths::OwnFile::State::Read ||
                     (read.bytes != versions[0] && read.bytes != versions[1]))
                ++other;
        }
        reading = false;
        writer.join();
        return std::to_string(unreadable) + " unreadable, " + std::to_string(other) + " other" +
               (replaced.load() > 0 ? ", replaced" : ", never replaced");
    });
    EXPECT_EQ(said, "0 unreadable, 0 other, replaced");
}

// A damaged file moved aside never takes the place of an earlier copy: with every name it could
// take already there, it stays where it is.
TEST(Paths, MovingAsideNeverReplacesAnEarlierCopy) {
    testsupport::TempHome home;
    const fs::path folder = home.path() / "cache" / "reports";
    ASSERT_TRUE(paths::writeFileAtomically(folder / "report", "damaged"));
    ASSERT_TRUE(paths::writeFileAtomically(folder / "earlier", "earlier"));
    // Every name of the seconds up to the one after the call is taken, each a link to "earlier":
    // a name replaced takes a link from it.
    const auto links = [&] { return fs::hard_link_count(folder / "earlier"); };
    std::vector<std::string> bases;
    for (std::time_t second = std::time(nullptr); second <= std::time(nullptr) + 1; ++second) {
        std::tm tm{};
        gmtime_r(&second, &tm);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
        bases.push_back(std::string("report.corrupt-") + stamp);
        for (int n = 0; n < 1000; ++n)
            fs::create_hard_link(folder / "earlier",
                                 folder / (n == 0 ? bases.back() : bases.back() + "-" + std::to_string(n)));
    }
    const uintmax_t before = links();
    EXPECT_FALSE(paths::moveAside(folder / "report"));
    EXPECT_EQ(links(), before);
    EXPECT_EQ(testsupport::readFile(folder / "report"), "damaged");
    // A free name is taken.
    for (const std::string& base : bases)
        fs::remove(folder / (base + "-999"));
    const std::optional<fs::path> aside = paths::moveAside(folder / "report");
    ASSERT_TRUE(aside);
    EXPECT_EQ(aside->filename().string().substr(aside->filename().string().size() - 4), "-999");
    EXPECT_EQ(testsupport::readFile(*aside), "damaged");
    EXPECT_EQ(links(), before - bases.size());
}
