// Preparing the folders at a launch: everything under the data root becomes private, and a
// refused launch (a folder or entry of another user, a link of theirs on the way, a folder nested
// too deep) has changed nothing; what only trying finds is named with what had changed before it.
#include "platform/foundation/Beneath.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace plat;
using testsupport::modeOf;
using testsupport::ScopedEnv;

TEST(Paths, EverythingUnderTheDataRootIsPrivateWhateverTheUmask) {
    for (mode_t mask : {mode_t(022), mode_t(000)}) {
        SCOPED_TRACE(mask);
        testsupport::TempHome home;
        const mode_t previous = ::umask(mask);
        // What an older version left: readable folders and files, the root included.
        testsupport::writeFile(home.path() / "config" / "old.plist", "old");
        testsupport::writeFile(home.path() / "data" / "tessera-heartbeat-storage" / "heartbeats-x", "old");
        fs::permissions(home.path(), fs::perms(0755));
        fs::permissions(home.path() / "config" / "old.plist", fs::perms(0644));
        fs::permissions(home.path() / "data" / "tessera-heartbeat-storage", fs::perms(0777));
        fs::create_directory_symlink("/usr", home.path() / "data" / "link");

        const auto refusal = paths::preparePrivateFolders();
        EXPECT_FALSE(refusal) << *refusal;
        EXPECT_TRUE(paths::writeFileAtomically(home.path() / "data" / "new" / "deeper" / "file", "x"));
        UserDefaults::standard().set("written", true);
        EXPECT_TRUE(UserDefaults::standard().synchronize());
        ::umask(previous);

        size_t files = 0;
        for (auto it = fs::recursive_directory_iterator(home.path());
             it != fs::recursive_directory_iterator(); ++it) {
            if (it->is_symlink()) continue;
            EXPECT_EQ(modeOf(it->path()), it->is_directory() ? 0700u : 0600u) << it->path();
            files += it->is_regular_file();
        }
        EXPECT_EQ(files, 4u);
        EXPECT_EQ(modeOf(home.path()), 0700u);
        EXPECT_EQ(modeOf("/usr") & 0755, 0755u) << "links are not followed";
        UserDefaults::resetForTesting();
    }
}

namespace {

constexpr uid_t kOther = testsupport::kAnotherUser;

// Makes `path` a folder (or, with `text`, a file) of another user with `mode`, as that user would.
void plant(const fs::path& path, mode_t mode, const char* text = nullptr) {
    if (text) return testsupport::plantAsAnotherUser(path, text, mode);
    fs::create_directories(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    ASSERT_EQ(::lchown(path.c_str(), kOther, kOther), 0);
}

void expectRefusal(const std::optional<std::string>& refusal, const std::string& naming) {
    ASSERT_TRUE(refusal) << "not refused: " << naming;
    EXPECT_NE(refusal->find(naming), std::string::npos) << *refusal;
}

// A seccomp filter on this process (for good: call it in a child) that ends it at the first
// descriptor made without close-on-exec by open, openat, dup, dup2, dup3 or fcntl(F_DUPFD).
bool onlyCloseOnExecDescriptors() {
#if defined(__x86_64__)
    constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    constexpr uint32_t kKill = SECCOMP_RET_KILL_PROCESS, kAllow = SECCOMP_RET_ALLOW;
    // The low half of argument `index` (little-endian).
    const auto argument = [](int index) { return uint32_t(offsetof(seccomp_data, args) + 8 * index); };
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, kAllow),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    // For the call `nr`: allowed when argument `index` has `bit` (or, with `equal`, is not `bit`).
    const auto rule = [&](long nr, int index, uint32_t bit, bool equal) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 4));
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument(index)));
        if (equal)
            filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, bit, 1, 0));
        else
            filter.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, bit, 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, kAllow));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, kKill));
    };
    const auto never = [&](long nr) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, kKill));
    };
    rule(__NR_openat, 2, O_CLOEXEC, false);
    rule(__NR_dup3, 2, O_CLOEXEC, false);
    rule(__NR_fcntl, 1, F_DUPFD, true);
    never(__NR_dup);
#ifdef __NR_open
    rule(__NR_open, 1, O_CLOEXEC, false);
#endif
#ifdef __NR_dup2
    never(__NR_dup2);
#endif
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, kAllow));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

} // namespace

TEST(Paths, FoldersHoldingAnythingOfAnotherUserAreRefusedBeforeAnythingChanges) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes files of another user
    testsupport::TempHome home;
    ScopedEnv noHome("VELMORA_HOME", nullptr);
    // One XDG folder at a time in a shared sticky folder where the other user made the folder
    // first; the others are ours, and none of them is made.
    const fs::path shared = home.path() / "shared", ours = home.path() / "ours";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms(01777));
    for (auto [variable, planted] :
         {std::pair{"XDG_CONFIG_HOME", "velmora"}, std::pair{"XDG_DATA_HOME", "velmora"},
          std::pair{"XDG_CACHE_HOME", "velmora"}, std::pair{"XDG_CONFIG_HOME", "autostart"}}) {
        SCOPED_TRACE(std::string(variable) + " " + planted);
        ScopedEnv config("XDG_CONFIG_HOME", (ours / "config").c_str()),
            data("XDG_DATA_HOME", (ours / "data").c_str()), cache("XDG_CACHE_HOME", (ours / "cache").c_str());
        ScopedEnv theirs(variable, shared.c_str());
        plant(shared / planted, 0755);
        plant(shared / planted / "Velmora.plist", 0644, "planted");
        expectRefusal(paths::preparePrivateFolders(),
                      (shared / planted).string() + " belongs to another user (uid 4242");
        EXPECT_FALSE(fs::exists(ours));
        EXPECT_EQ(modeOf(shared / planted), 0755u);
        fs::remove_all(shared / planted);
    }

    // A home of ours that others could write, in which the other user made config/; then a file
    // of theirs deep in a store of ours.
    const fs::path open = home.path() / "open";
    fs::create_directories(open);
    fs::permissions(open, fs::perms(0777));
    plant(open / "config", 0755);
    plant(open / "config" / "Velmora.plist", 0644, "planted");
    ScopedEnv velmoraHome("VELMORA_HOME", open.c_str());
    expectRefusal(paths::preparePrivateFolders(),
                  (open / "config").string() + " belongs to another user (uid 4242");
    EXPECT_EQ(modeOf(open), 0777u);
    EXPECT_FALSE(fs::exists(open / "data"));
    fs::remove_all(open / "config");
    plant(open / "cache" / "tessera-sdks-events" / "1001" / "batch", 0600, "planted");
    expectRefusal(paths::preparePrivateFolders(), "tessera-sdks-events/1001/batch belongs to another user");
    fs::remove(open / "cache" / "tessera-sdks-events" / "1001" / "batch");
    // With nothing of theirs left, the home is ours alone.
    const auto refusal = paths::preparePrivateFolders();
    EXPECT_FALSE(refusal) << *refusal;
    EXPECT_EQ(modeOf(open), 0700u);

    // Reached through a link of theirs, which they may point at a folder of theirs at any time.
    const fs::path link = shared / "velmora-home";
    fs::create_directory_symlink(open, link);
    ASSERT_EQ(::lchown(link.c_str(), kOther, kOther), 0);
    ScopedEnv linkedHome("VELMORA_HOME", link.c_str());
    expectRefusal(paths::preparePrivateFolders(), "is reached through the link " + link.string() +
                                                      ", which belongs to another user (uid 4242)");
}

// Every file the keychain uses, the store files and the lock, stops the launch when another user's,
// though the folders are private by now.
TEST(Paths, AKeychainFileOfAnotherUserStopsTheLaunch) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes files of another user
    testsupport::TempHome home;
    const fs::path keychain = home.path() / "data" / "keychain";
    for (const char* name : {".lock", "generic-io.velmora.mac.items"}) {
        SCOPED_TRACE(name);
        testsupport::forEachUnopenableFileOfAnotherUser(keychain / name, [&] {
            for (const fs::path& folder : {home.path(), home.path() / "data", keychain})
                fs::permissions(folder, fs::perms(0700));
            expectRefusal(paths::preparePrivateFolders(),
                          (keychain / name).string() + " belongs to another user (uid 4242");
        });
    }
}

// An entry of an access ACL that may write is a writer like the group or others: above the data
// root, and on a keychain file. The folders Velmora makes private mask such entries.
TEST(Paths, WritersNamedInAnAccessAclAreOtherWriters) {
    testsupport::TempHome home;
    if (::getxattr(home.path().c_str(), "system.posix_acl_access", nullptr, 0) < 0 && errno == ENOTSUP)
        GTEST_SKIP() << "the file system of " << home.path() << " keeps no access ACLs";
    const auto setfacl = [](const std::string& entry, const fs::path& path) {
        return std::system(("setfacl -m " + entry + " '" + path.string() + "'").c_str());
    };
    const fs::path above = home.path() / "above", root = above / "vh", items = root / "data" / "keychain" / "x.items";
    testsupport::writeFile(items, "");
    fs::permissions(above, fs::perms(0700));
    ScopedEnv velmoraHome("VELMORA_HOME", root.c_str());
    for (const char* entry : {"u:4242:rwx", "g:4242:rwx"}) {
        SCOPED_TRACE(entry);
        ASSERT_EQ(setfacl(entry, above), 0);
        EXPECT_EQ(modeOf(above), 0770u);
        expectRefusal(paths::preparePrivateFolders(),
                      above.string() + ", which " + (entry[0] == 'u' ? "the user " : "members of the group "));
        expectRefusal(paths::preparePrivateFolders(), ", named in its access ACL, may write");
        ASSERT_EQ(std::system(("setfacl -b '" + above.string() + "'").c_str()), 0);
    }
    // The data folder's entry is masked as it is made private; the keychain file's is not.
    ASSERT_EQ(setfacl("u:4242:rwx", root / "data"), 0);
    const auto refusal = paths::preparePrivateFolders();
    EXPECT_FALSE(refusal) << *refusal;
    EXPECT_EQ(modeOf(root / "data"), 0700u);
    ASSERT_EQ(setfacl("u:4242:rw", items), 0);
    expectRefusal(paths::preparePrivateFolders(), items.string() + " is a file that the user ");
}

// Without /proc (a tmpfs over it, in a mount namespace of a child's own) a file's access ACL cannot
// be read through the O_PATH descriptor that judged it: it is read from the file opened anew by its
// name in its folder, once that is known to be the file judged. A file of the user's own group,
// 0660, passes, from its descriptor or from its status alone; one whose ACL lets another user write
// is refused for that; one whose name has come to lead to another file since, for that.
TEST(Paths, WithoutProcAFileIsJudgedByItsOwnAccessAcl) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // mounts over /proc
    testsupport::TempHome home;
    if (::getxattr(home.path().c_str(), "system.posix_acl_access", nullptr, 0) < 0 && errno == ENOTSUP)
        GTEST_SKIP() << "the file system of " << home.path() << " keeps no access ACLs";
    const fs::path folder = home.path() / "keychain", own = folder / "own.items", named = folder / "named.items";
    testsupport::writeFile(own, "");
    testsupport::writeFile(named, "");
    fs::permissions(own, fs::perms(0660));
    fs::permissions(named, fs::perms(0660));
    ASSERT_EQ(std::system(("setfacl -m u:4242:rw '" + named.string() + "'").c_str()), 0);
    ASSERT_EQ(modeOf(named), 0660u);
    // The account files of the child: the user (root there) alone has its group.
    testsupport::writeFile(home.path() / "passwd", "root:x:0:0:root:/root:/bin/sh\n");
    testsupport::writeFile(home.path() / "group", "root:x:0:\n");
    const std::string said = testsupport::inChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount((home.path() / "passwd").c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0 ||
            ::mount((home.path() / "group").c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0 ||
            ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
            return "no mount namespace";
        const FileDescriptor held(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        std::string text;
        for (const fs::path& file : {own, named}) {
            const std::string name = file.filename().string();
            text += name + ": " + beneath::refusedFile(held.get(), folder, name).value_or("passes") + "\n";
            struct stat info {};
            if (::lstat(file.c_str(), &info) != 0) return "no " + name;
            text += name + " by its status: " + beneath::fileRefusal(file, info).value_or("passes") + "\n";
        }
        // Judged, then another file put in its place.
        struct stat judged {};
        const FileDescriptor entry(::open(own.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!entry || ::fstat(entry.get(), &judged) != 0) return "no own.items";
        testsupport::writeFile(folder / "other", "");
        if (::chmod((folder / "other").c_str(), 0660) != 0 || ::rename((folder / "other").c_str(), own.c_str()) != 0)
            return "not replaced";
        text += "replaced: " +
                beneath::fileRefusal(own, judged, entry.get(), {held.get(), "own.items"}).value_or("passes");
        return text;
    });
    EXPECT_NE(said.find("own.items: passes\nown.items by its status: passes\n"), std::string::npos) << said;
    for (const std::string how : {"named.items: ", "named.items by its status: "})
        EXPECT_NE(said.find(how + named.string() + " is a file that the user uid 4242, named in its access ACL, may write"),
                  std::string::npos)
            << said;
    EXPECT_NE(said.find("replaced: " + own.string() +
                        " is a file that its access ACL, which could not be read (its name no longer leads to "
                        "it), may let others write"),
              std::string::npos)
        << said;
}

// Every descriptor the folder check opens is close-on-exec, so that a program another thread starts
// meanwhile inherits none: a launch's check runs in a child under a seccomp filter that ends the
// process at the first open, dup or F_DUPFD without it.
TEST(Paths, TheFolderCheckLeavesNoDescriptorToAProgramStartedMeanwhile) {
    testsupport::TempHome home;
    const auto underFilter = [](const std::function<std::string()>& act) {
        return testsupport::inChild([&]() -> std::string {
            if (!onlyCloseOnExecDescriptors()) return "no filter";
            return act();
        });
    };
    // The filter ends a process that makes such a descriptor: nothing comes back from it.
    EXPECT_EQ(underFilter([] { return ::dup(2) >= 0 ? std::string("dup") : std::string("no dup"); }), "");
    EXPECT_EQ(underFilter([] { return std::string("ran"); }), "ran");
    EXPECT_EQ(underFilter([] { return paths::preparePrivateFolders().value_or("prepared"); }), "prepared");
}

// Settings, data and a cache not private yet in a private home: the home is not looked into, its
// folders are. Whatever is refused in any of them is refused before any folder is changed.
TEST(Paths, FoldersInAPrivateHomeAreCheckedBeforeAnyIsChanged) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes a file of another user
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "config" / "io.velmora.mac.plist", "old");
    fs::create_directories(home.path() / "data");
    fs::path deep = home.path() / "cache";
    for (int level = 1; level <= 33; ++level)
        fs::create_directories(deep /= "level" + std::to_string(level));
    for (fs::path folder = deep; folder != home.path(); folder = folder.parent_path())
        fs::permissions(folder, fs::perms(0755));
    const auto asAnOlderVersionLeftThem = [&] {
        for (const char* folder : {"config", "data", "cache"})
            fs::permissions(home.path() / folder, fs::perms(0755));
        fs::permissions(home.path() / "config" / "io.velmora.mac.plist", fs::perms(0644));
        fs::permissions(home.path(), fs::perms(0700));
        return testsupport::treeSnapshot(home.path());
    };

    std::string before = asAnOlderVersionLeftThem();
    expectRefusal(paths::preparePrivateFolders(), "level33 lies too deep in");
    EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);

    fs::remove_all(home.path() / "cache" / "level1");
    plant(home.path() / "cache" / "events", 0644, "planted");
    before = asAnOlderVersionLeftThem();
    expectRefusal(paths::preparePrivateFolders(),
                  (home.path() / "cache" / "events").string() + " belongs to another user (uid 4242");
    EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
}

// In a home not private yet, whose check goes through it without following links, the folders in
// it are checked where they really are, before the home is changed.
TEST(Paths, FoldersInAHomeNotPrivateYetAreCheckedWhereTheyReallyAreBeforeAnyIsChanged) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes a folder of another user
    testsupport::TempHome home;
    const fs::path root = home.path() / "vh";
    fs::create_directories(root / "cache");
    fs::permissions(root, fs::perms(0755));
    fs::permissions(root / "cache", fs::perms(0775));
    plant(home.path() / "theirs", 0755);
    ScopedEnv velmoraHome("VELMORA_HOME", root.c_str());
    for (const char* name : {"data", "autostart"}) {
        SCOPED_TRACE(name);
        fs::create_directory_symlink(home.path() / "theirs", root / name);
        const std::string before = testsupport::treeSnapshot(home.path());
        expectRefusal(paths::preparePrivateFolders(),
                      "(really " + (home.path() / "theirs").string() + ") belongs to another user (uid 4242");
        EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
        fs::remove(root / name);
    }

    testsupport::writeFile(root / "config", "not a folder");
    const std::string before = testsupport::treeSnapshot(home.path());
    expectRefusal(paths::preparePrivateFolders(), (root / "config").string() + " is not a folder");
    EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
}

// A folder that only trying shows cannot be made private (data on a read-only mount, in a mount
// namespace of a child's own): the refusal names everything changed before it, with the old mode.
TEST(Paths, ARefusalThatOnlyTryingFindsNamesWhatHadChangedBeforeIt) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // mounts a folder read-only
    testsupport::TempHome home;
    const fs::path data = home.path() / "data";
    for (const char* folder : {"config", "data", "cache"})
        fs::create_directories(home.path() / folder);
    testsupport::writeFile(home.path() / "config" / "io.velmora.mac.plist", "old");
    fs::permissions(home.path() / "config" / "io.velmora.mac.plist", fs::perms(0644));
    for (const char* folder : {"", "config", "data", "cache"})
        fs::permissions(home.path() / folder, fs::perms(0755));
    const std::string before = testsupport::treeSnapshot(home.path());
    const std::string said = testsupport::inChild([&]() -> std::string {
        const bool readOnly =
            ::unshare(CLONE_NEWNS) == 0 &&
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount(data.c_str(), data.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            ::mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
        if (!readOnly) return "no read-only mount";
        return paths::preparePrivateFolders().value_or("started");
    });
    EXPECT_NE(said.find(data.string() + " could not be made private: Read-only file system"),
              std::string::npos)
        << said;
    // Each entry whose mode changed, and only those, is named, the home first of all.
    const std::string after = testsupport::treeSnapshot(home.path());
    ASSERT_NE(after, before);
    for (const fs::path& entry : {home.path(), home.path() / "config",
                                  home.path() / "config" / "io.velmora.mac.plist", home.path() / "cache"}) {
        const mode_t mode = modeOf(entry);
        const std::string naming =
            entry.string() + (fs::is_directory(entry) ? " (0755 -> 0700)" : " (0644 -> 0600)");
        if (mode == 0755u || mode == 0644u)
            EXPECT_EQ(said.find(naming), std::string::npos) << said;
        else
            EXPECT_NE(said.find(naming), std::string::npos) << said;
    }
    EXPECT_EQ(modeOf(home.path()), 0700u);
}

TEST(Paths, AHomeOfAnotherUserIsRefusedUnchangedWhileItsOwnerSwapsLinksInIt) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // acts as another user
    testsupport::TempHome home;
    const fs::path theirs = home.path() / "theirs", victim = home.path() / "victim";
    plant(theirs, 0755);
    plant(theirs / "notes", 0644, "theirs");
    plant(theirs / "sub", 0755);
    testsupport::writeFile(victim, "ours");
    fs::permissions(victim, fs::perms(0644));
    // The owner swaps a file with only group bits and a link to a file of ours, as fast as it can.
    const int theirsFd = ::open(theirs.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(theirsFd, 0);
    const pid_t swapper = ::fork();
    if (swapper == 0) {
        if (::setgid(kOther) != 0 || ::setuid(kOther) != 0) ::_exit(1);
        const int file = ::openat(theirsFd, "x", O_CREAT | O_WRONLY, 0070);
        if (file < 0 || ::fchmod(file, 0070) != 0 || ::symlinkat(victim.c_str(), theirsFd, "y") != 0)
            ::_exit(1);
        for (;;)
            ::renameat2(theirsFd, "x", theirsFd, "y", RENAME_EXCHANGE);
    }
    ::close(theirsFd);
    ASSERT_GT(swapper, 0);
    ASSERT_TRUE(testsupport::eventually([&] { return fs::exists(theirs / "y"); }));
    ScopedEnv velmoraHome("VELMORA_HOME", theirs.c_str());
    int refused = 0;
    for (int launch = 0; launch < 500; ++launch) {
        const auto refusal = paths::preparePrivateFolders();
        refused += refusal &&
                   refusal->find(theirs.string() + " belongs to another user (uid 4242") != std::string::npos;
    }
    EXPECT_EQ(refused, 500);
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    EXPECT_EQ(modeOf(victim), 0644u);
    EXPECT_EQ(modeOf(theirs), 0755u);
    EXPECT_EQ(modeOf(theirs / "notes"), 0644u);
    EXPECT_EQ(modeOf(theirs / "sub"), 0755u);
    for (const char* made : {"config", "data", "cache"})
        EXPECT_FALSE(fs::exists(theirs / made)) << made;
}

namespace {

// Runs `act` in a child process as the other user; true when it succeeded. Only system calls in
// the child (other threads of this process may hold locks), relative to folders opened before: the
// test's home is not open to that user.
bool asOther(const std::function<bool()>& act) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(::setgid(kOther) == 0 && ::setuid(kOther) == 0 && act() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

TEST(Paths, ALinkReachedThroughAnotherLinkIsCheckedAsOneNamedInThePath) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // acts as another user
    testsupport::TempHome home;
    // Our link leads to a link in a folder all may write, which leads back to a folder of ours.
    const fs::path open = home.path() / "open", link5 = open / "link5", chain = home.path() / "link-chain",
                   documents = home.path() / "Documents";
    fs::create_directories(open);
    fs::permissions(open, fs::perms(0777));
    fs::create_directories(home.path() / "real5");
    fs::create_directory_symlink(home.path() / "real5", link5);
    fs::create_directory_symlink(link5, chain);
    testsupport::writeFile(documents / "report.txt", "mine");
    fs::permissions(documents, fs::perms(0755));
    fs::permissions(documents / "report.txt", fs::perms(0644));
    ScopedEnv velmoraHome("VELMORA_HOME", chain.c_str());
    expectRefusal(paths::preparePrivateFolders(), "is reached through the link " + link5.string() +
                                                      ", which lies in " + open.string() +
                                                      ", which others may write");
    // Between two launches the other user points that link at a folder of ours.
    const int openFd = ::open(open.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_TRUE(asOther([&] {
        return ::unlinkat(openFd, "link5", 0) == 0 && ::symlinkat(documents.c_str(), openFd, "link5") == 0;
    }));
    ::close(openFd);
    expectRefusal(paths::preparePrivateFolders(), "is reached through the link " + link5.string() +
                                                      ", which belongs to another user (uid 4242)");
    EXPECT_EQ(modeOf(documents), 0755u);
    EXPECT_EQ(modeOf(documents / "report.txt"), 0644u);
    for (const char* made : {"config", "data", "cache"})
        EXPECT_FALSE(fs::exists(documents / made)) << made;

    // Links of ours in safe folders that end at a folder of the other user: the folder is at fault.
    plant(home.path() / "theirs", 0755);
    fs::create_directory_symlink(home.path() / "theirs", home.path() / "to-theirs");
    fs::create_directory_symlink(home.path() / "to-theirs", home.path() / "chain-to-theirs");
    ScopedEnv theirHome("VELMORA_HOME", (home.path() / "chain-to-theirs").c_str());
    expectRefusal(paths::preparePrivateFolders(),
                  "(really " + (home.path() / "theirs").string() + ") belongs to another user (uid 4242");
}

TEST(Paths, DotDotAfterALinkLeadsAboveTheRealFolderAndThatFolderIsTheOneUsed) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // acts as another user
    testsupport::TempHome home;
    const fs::path open = home.path() / "open4b4", reached = open / "vh2";
    fs::create_directories(open / "sub");
    fs::permissions(open, fs::perms(0777));
    fs::create_directory_symlink(open / "sub", home.path() / "ul");
    ScopedEnv velmoraHome("VELMORA_HOME", (home.path() / "ul" / ".." / "vh2").c_str());
    const std::string exposed =
        "(really " + reached.string() + ") lies in " + open.string() + ", which others may write";
    expectRefusal(paths::preparePrivateFolders(), exposed);
    // Between two launches the other user plants settings where the path really leads.
    const int openFd = ::open(open.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_TRUE(asOther([&] {
        const int config =
            ::mkdirat(openFd, "vh2", 0777) == 0 && ::fchmodat(openFd, "vh2", 0777, 0) == 0 &&
                    ::mkdirat(openFd, "vh2/config", 0777) == 0
                ? ::openat(openFd, "vh2/config/io.velmora.mac.plist", O_CREAT | O_WRONLY | O_CLOEXEC, 0666)
                : -1;
        return config >= 0 && ::fchmod(config, 0666) == 0 && ::close(config) == 0;
    }));
    ::close(openFd);
    expectRefusal(paths::preparePrivateFolders(),
                  "(really " + reached.string() + ") belongs to another user (uid 4242");
    EXPECT_EQ(modeOf(reached / "config" / "io.velmora.mac.plist"), 0666u);
    EXPECT_FALSE(fs::exists(reached / "data"));
    EXPECT_FALSE(fs::exists(home.path() / "vh2"));

    // Where every folder on the way is safe, the folder reached is the one checked, made and handed
    // out, whatever the link does later.
    const fs::path safe = home.path() / "safe";
    fs::create_directories(safe / "sub");
    fs::create_directory_symlink(safe / "sub", home.path() / "ul2");
    ScopedEnv safeHome("VELMORA_HOME", (home.path() / "ul2" / ".." / "vh3").c_str());
    const auto refusal = paths::preparePrivateFolders();
    EXPECT_FALSE(refusal) << *refusal;
    EXPECT_EQ(paths::configDir(), safe / "vh3" / "config");
    EXPECT_EQ(paths::keychainDir(), safe / "vh3" / "data" / "keychain");
    EXPECT_TRUE(fs::is_directory(safe / "vh3" / "cache"));
    EXPECT_FALSE(fs::exists(home.path() / "vh3"));
    // A link of the other user on the way is refused like one in the path's text.
    ASSERT_EQ(::lchown((home.path() / "ul2").c_str(), kOther, kOther), 0);
    expectRefusal(paths::preparePrivateFolders(), "is reached through the link " +
                                                      (home.path() / "ul2").string() +
                                                      ", which belongs to another user (uid 4242)");
}

namespace {

// What preparing the folders answered in a child that is root of a new user namespace whose
// uid_map and gid_map this process writes (lines "<inside> <outside> <count>", outside as ids here).
// There every file of an owner the maps leave out shows as the overflow uid. "entered" is false
// when no such namespace could be made.
struct NamespaceAnswer {
    bool entered = false;
    std::optional<std::string> refusal;
};

NamespaceAnswer prepareInUserNamespace(const std::string& uidMap, const std::string& gidMap) {
    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        char mapped = 0;
        if (::unshare(CLONE_NEWUSER) != 0 || ::write(channel[1], "u", 1) != 1 ||
            ::read(channel[1], &mapped, 1) != 1)
            ::_exit(2);
        const std::string text = paths::preparePrivateFolders().value_or("");
        ::_exit(::write(channel[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 3);
    }
    ::close(channel[1]);
    const auto put = [&](const char* file, const std::string& text) {
        const int fd = ::open(("/proc/" + std::to_string(child) + "/" + file).c_str(), O_WRONLY | O_CLOEXEC);
        const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        if (fd >= 0) ::close(fd);
        return written;
    };
    char unshared = 0;
    if (child > 0 && ::read(channel[0], &unshared, 1) == 1 && put("uid_map", uidMap) &&
        put("gid_map", gidMap))
        (void)!::write(channel[0], "m", 1);
    ::shutdown(channel[0], SHUT_WR); // a child left unmapped ends
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    ::close(channel[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return {true, text.empty() ? std::nullopt : std::optional(text)};
}

// As `unshare -U -r` maps: only this user, as root.
NamespaceAnswer prepareInNamespaceMappingOnlyThisUser() {
    return prepareInUserNamespace("0 " + std::to_string(::geteuid()) + " 1",
                                  "0 " + std::to_string(::getegid()) + " 1");
}

} // namespace

TEST(Paths, InANamespaceThatCannotNameTheirOwnerOnlyFoldersNoOtherUserMayWriteVouchForEntries) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes files of another user
    testsupport::TempHome home;
    // The other user's link in a sticky folder all may write, to a folder of ours.
    const fs::path open = home.path() / "open", link = open / "velmora-x",
                   documents = home.path() / "Documents";
    fs::create_directories(open);
    fs::permissions(open, fs::perms(01777));
    testsupport::writeFile(documents / "report.txt", "mine");
    fs::permissions(documents, fs::perms(0755));
    fs::permissions(documents / "report.txt", fs::perms(0644));
    fs::create_directory_symlink(documents, link);
    ASSERT_EQ(::lchown(link.c_str(), kOther, kOther), 0);
    {
        ScopedEnv velmoraHome("VELMORA_HOME", link.c_str());
        const NamespaceAnswer answer = prepareInNamespaceMappingOnlyThisUser();
        ASSERT_TRUE(answer.entered) << "no user namespace could be made";
        expectRefusal(answer.refusal, "is reached through the link " + link.string() +
                                          ", which belongs to a user this user namespace does not map");
        EXPECT_EQ(modeOf(documents), 0755u);
        EXPECT_EQ(modeOf(documents / "report.txt"), 0644u);
        for (const char* made : {"config", "data", "cache"})
            EXPECT_FALSE(fs::exists(documents / made)) << made;
    }
    // Where only other ids are mapped, the overflow uid among them (`unshare -U --map-auto`), this
    // user shows as the overflow uid, as the owner of that link does.
    {
        ScopedEnv velmoraHome("VELMORA_HOME", link.c_str());
        const std::string before = testsupport::treeSnapshot(documents);
        const NamespaceAnswer answer = prepareInUserNamespace("60000 5000 10000", "60000 5000 10000");
        ASSERT_TRUE(answer.entered);
        expectRefusal(answer.refusal, "does not map its own user: it is uid 65534 here");
        EXPECT_EQ(testsupport::treeSnapshot(documents), before);
    }
    // A sticky folder of the other user's in that folder, to keep our data in.
    plant(open / "theirs", 01777);
    {
        ScopedEnv velmoraHome("VELMORA_HOME", (open / "theirs" / "vh").c_str());
        const NamespaceAnswer answer = prepareInNamespaceMappingOnlyThisUser();
        ASSERT_TRUE(answer.entered);
        expectRefusal(answer.refusal, (open / "theirs").string() +
                                          ", which belongs to a user this user "
                                          "namespace does not map (uid 65534 here) "
                                          "and lies in a folder that others may write");
        EXPECT_FALSE(fs::exists(open / "theirs" / "vh"));
    }
    // Our own folders, under folders no other user may write (root's outside, when the test runs as
    // an ordinary user), start there; so does a link of ours in the sticky folder.
    for (const fs::path& root : {home.path() / "ours" / "vh", open / "mine"}) {
        SCOPED_TRACE(root);
        if (root.parent_path() == open) fs::create_directory_symlink(home.path() / "ours", root);
        ScopedEnv velmoraHome("VELMORA_HOME", root.c_str());
        const NamespaceAnswer answer = prepareInNamespaceMappingOnlyThisUser();
        ASSERT_TRUE(answer.entered);
        EXPECT_FALSE(answer.refusal) << *answer.refusal;
        EXPECT_EQ(modeOf(fs::canonical(root) / "config"), 0700u);
    }

    // As a rootless container maps: this user as root, and the overflow uid to an id of its own.
    // Root outside, played by a user the maps leave out, shows as the overflow uid too: its folders
    // vouch for what lies in them where no one else may write them, as before.
    const uid_t rootOutside = kOther + 1;
    const fs::path outside = home.path() / "outside", theirLink = outside / "tmp" / "velmora-x";
    fs::create_directories(outside / "home" / "me");
    fs::create_directories(outside / "tmp" / "mine");
    for (const fs::path& folder : {outside, outside / "home", outside / "tmp"})
        ASSERT_EQ(::lchown(folder.c_str(), rootOutside, rootOutside), 0);
    fs::permissions(outside / "tmp", fs::perms(01777));
    fs::create_directory_symlink(outside / "home" / "me", theirLink);
    ASSERT_EQ(::lchown(theirLink.c_str(), kOther, kOther), 0);
    const std::string uidMap = "0 " + std::to_string(::geteuid()) + " 1\n65534 5000 1",
                      gidMap = "0 " + std::to_string(::getegid()) + " 1\n65534 5000 1";
    for (const fs::path& root : {outside / "home" / "me" / "vh", outside / "tmp" / "mine"}) {
        SCOPED_TRACE(root);
        ScopedEnv velmoraHome("VELMORA_HOME", root.c_str());
        const NamespaceAnswer answer = prepareInUserNamespace(uidMap, gidMap);
        ASSERT_TRUE(answer.entered);
        EXPECT_FALSE(answer.refusal) << *answer.refusal;
        EXPECT_EQ(modeOf(root / "config"), 0700u);
    }
    ScopedEnv velmoraHome("VELMORA_HOME", theirLink.c_str());
    const NamespaceAnswer answer = prepareInUserNamespace(uidMap, gidMap);
    ASSERT_TRUE(answer.entered);
    expectRefusal(answer.refusal, theirLink.string() + ", which belongs to a user this user namespace does "
                                                       "not map (uid 65534 here) and lies in a folder that "
                                                       "others may write");
}
