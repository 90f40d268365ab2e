// One instance per data folder: a second claim asks the holder to come forward instead of taking
// the folder, the files are private, a crashed holder's leftovers never block the next launch, and
// a holder that does not answer makes the claim fail rather than run a second instance. A folder,
// or an answer, of another user is refused, as is a non-socket in the socket's place; a folder
// whose path is too long for a socket address works all the same. Clients that connect and say
// nothing hold up neither a later launch nor the holder's end.
#include "platform/appkit/SingleInstance.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using plat::SingleInstance;
using namespace std::chrono_literals;

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// A socket bound at `path` (short enough) and not yet listening.
int boundSocket(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    return fd;
}

TEST(SingleInstance, ASecondClaimAsksTheHolderToComeForwardAndTheFolderFreesWithIt) {
    testsupport::TempHome home;
    const auto folder = home.path() / "data";
    auto first = SingleInstance::claim(folder);
    ASSERT_EQ(first.role, SingleInstance::Role::Primary) << first.error;
    int forward = 0;
    first.instance->setActivationHandler([&] { ++forward; });

    // Private: the folder made for it, the lock file and the socket.
    EXPECT_EQ(modeOf(folder) & 0777, 0700u);
    EXPECT_EQ(modeOf(folder / SingleInstance::kLockFileName) & 0777, 0600u);
    const mode_t socket = modeOf(folder / SingleInstance::kSocketFileName);
    EXPECT_TRUE(S_ISSOCK(socket));
    EXPECT_EQ(socket & 0777, 0600u);

    for (int launch = 1; launch <= 2; ++launch) {
        // The later launch asks as long as the suite's patience: the holder's listener answers
        // when a crowded machine lets it run.
        auto second = SingleInstance::claim(folder, testsupport::kPatience);
        EXPECT_EQ(second.role, SingleInstance::Role::HandedOver) << second.error;
        EXPECT_FALSE(second.instance);
        // The holder hears of it on its main queue.
        EXPECT_TRUE(
            plat::RunLoop::main().runUntil([&] { return forward == launch; }, testsupport::kPatience));
    }
    EXPECT_EQ(first.instance->activationRequests(), 2u);

    // Once the holder is gone the next launch holds the folder.
    first.instance.reset();
    EXPECT_FALSE(std::filesystem::exists(folder / SingleInstance::kSocketFileName));
    auto next = SingleInstance::claim(folder);
    EXPECT_EQ(next.role, SingleInstance::Role::Primary) << next.error;
}

// Silent clients, held open for as long as it takes: a later launch is answered beside them, and
// the holder ends at once, not after their time has run out. That time is set far beyond what a
// crowded machine takes to end the holder.
TEST(SingleInstance, SilentClientsHoldUpNeitherALaterLaunchNorTheEnd) {
    SingleInstance::setPeerTimeForTesting(2 * testsupport::kPatience);
    testsupport::TempHome home;
    const auto folder = home.path() / "data";
    auto first = SingleInstance::claim(folder);
    ASSERT_EQ(first.role, SingleInstance::Role::Primary) << first.error;
    std::vector<int> silent;
    for (int i = 0; i < 6; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, (folder / SingleInstance::kSocketFileName).c_str(),
                     sizeof address.sun_path - 1);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        silent.push_back(fd);
    }
    // Answered after the silent ones were taken (in the order they came): they are peers now.
    auto second = SingleInstance::claim(folder, testsupport::kPatience);
    EXPECT_EQ(second.role, SingleInstance::Role::HandedOver) << second.error;
    const auto started = std::chrono::steady_clock::now();
    first.instance.reset();
    // Waiting out the silent clients takes their whole time; an end that does not wait, a moment.
    EXPECT_LT(std::chrono::steady_clock::now() - started, testsupport::kPatience);
    for (int fd : silent)
        ::close(fd);
    SingleInstance::setPeerTimeForTesting(std::nullopt);
}

TEST(SingleInstance, LeftoversOfACrashedHolderDoNotBlockAndASilentHolderFailsTheClaim) {
    testsupport::TempHome home;
    const auto folder = home.path() / "data";
    std::filesystem::create_directories(folder);
    // A crashed holder leaves its socket and lock file, but no lock.
    ::close(boundSocket(folder / SingleInstance::kSocketFileName));
    testsupport::writeFile(folder / SingleInstance::kLockFileName, "");
    {
        auto claim = SingleInstance::claim(folder);
        ASSERT_EQ(claim.role, SingleInstance::Role::Primary) << claim.error;
        EXPECT_TRUE(S_ISSOCK(modeOf(folder / SingleInstance::kSocketFileName)));
    }

    // A holder of the lock that does not listen: asked in vain until the patience runs out.
    const int held = ::open((folder / SingleInstance::kLockFileName).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    auto refused = SingleInstance::claim(folder, 300ms);
    EXPECT_EQ(refused.role, SingleInstance::Role::Failed);
    EXPECT_NE(refused.error.find("does not answer"), std::string::npos) << refused.error;
    // Released, the folder goes to the next claim.
    ::close(held);
    auto taken = SingleInstance::claim(folder, 300ms);
    EXPECT_EQ(taken.role, SingleInstance::Role::Primary) << taken.error;
}

TEST(SingleInstance, AFolderOfAnotherUserOrANonSocketInTheWayIsRefusedAndALongPathWorks) {
    testsupport::TempHome home;
    // Another user's folder: a shared one (writable by all, as /tmp) or a folder given away.
    std::filesystem::path shared = "/tmp";
    if (::geteuid() == 0) {
        shared = home.path() / "shared";
        std::filesystem::create_directories(shared);
        ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    }
    auto foreign = SingleInstance::claim(shared, 300ms);
    EXPECT_EQ(foreign.role, SingleInstance::Role::Failed);
    EXPECT_NE(foreign.error.find("belongs to another user"), std::string::npos) << foreign.error;
    EXPECT_FALSE(std::filesystem::exists(shared / SingleInstance::kLockFileName));
    // A folder of this user inside one that others may write (a shared VELMORA_HOME): they could
    // put another folder in its place.
    const auto open = home.path() / "open";
    std::filesystem::create_directories(open / "data");
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    auto exposed = SingleInstance::claim(open / "data", 300ms);
    EXPECT_EQ(exposed.role, SingleInstance::Role::Failed);
    EXPECT_NE(exposed.error.find(open.string() + ", which others may write"), std::string::npos)
        << exposed.error;

    // A directory where the socket goes is not taken for a socket, nor removed.
    const auto folder = home.path() / "data";
    std::filesystem::create_directories(folder / SingleInstance::kSocketFileName);
    auto blocked = SingleInstance::claim(folder, 300ms);
    EXPECT_EQ(blocked.role, SingleInstance::Role::Failed);
    EXPECT_NE(blocked.error.find("is in the way: it is a directory"), std::string::npos) << blocked.error;
    EXPECT_TRUE(std::filesystem::is_directory(folder / SingleInstance::kSocketFileName));
    // Nor is a link where the lock file goes followed; the message names it.
    const auto linked = home.path() / "linked";
    std::filesystem::create_directories(linked);
    std::filesystem::create_symlink(home.path() / "elsewhere", linked / SingleInstance::kLockFileName);
    auto throughLink = SingleInstance::claim(linked, 300ms);
    EXPECT_NE(throughLink.error.find((linked / SingleInstance::kLockFileName).string() +
                                     " is in the way: it is a symbolic link"),
              std::string::npos)
        << throughLink.error;
    EXPECT_FALSE(std::filesystem::exists(home.path() / "elsewhere"));

    // A path far longer than a socket address: one instance all the same, the socket in the folder.
    const auto deep = home.path() / std::string(120, 'd') / std::string(120, 'e');
    auto first = SingleInstance::claim(deep);
    ASSERT_EQ(first.role, SingleInstance::Role::Primary) << first.error;
    EXPECT_TRUE(S_ISSOCK(modeOf(deep / SingleInstance::kSocketFileName)));
    auto second = SingleInstance::claim(deep);
    EXPECT_EQ(second.role, SingleInstance::Role::HandedOver) << second.error;
}

// What app/main does with the folders: prepares them all, then claims the data folder. "primary",
// or why the launch was refused.
std::string launch() {
    if (auto refusal = plat::paths::preparePrivateFolders(SingleInstance::inTheWay)) return *refusal;
    auto claim = SingleInstance::claim(plat::paths::applicationSupportDir(), 300ms);
    return claim.role == SingleInstance::Role::Primary ? "primary" : claim.error;
}

// Something at the lock file's or the socket's place that is neither is found before any folder is
// changed, by a launch and by a claim alone; a launch that passes changes what it needs to.
TEST(SingleInstance, ALaunchRefusedForWhatIsInTheWayChangesNothing) {
    struct Case {
        const char* name;
        const char* kind;
        std::function<void(const std::filesystem::path&)> make;
    };
    const auto link = [](const std::filesystem::path& at) {
        std::filesystem::create_symlink("/nowhere", at);
    };
    const auto fifo = [](const std::filesystem::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); };
    const auto file = [](const std::filesystem::path& at) { testsupport::writeFile(at, ""); };
    for (const Case& c : {Case{SingleInstance::kLockFileName, "a symbolic link", link},
                          Case{SingleInstance::kLockFileName, "a pipe", fifo},
                          Case{SingleInstance::kSocketFileName, "a symbolic link", link},
                          Case{SingleInstance::kSocketFileName, "a pipe", fifo},
                          Case{SingleInstance::kSocketFileName, "a regular file", file}}) {
        SCOPED_TRACE(std::string(c.name) + " " + c.kind);
        testsupport::TempHome home;
        const auto data = home.path() / "data";
        testsupport::writeFile(home.path() / "config" / "io.velmora.mac.plist", "old");
        std::filesystem::create_directories(data);
        c.make(data / c.name);
        for (const auto& [path, mode] :
             {std::pair{home.path(), 0755}, std::pair{home.path() / "config", 0755},
              std::pair{home.path() / "config" / "io.velmora.mac.plist", 0644}, std::pair{data, 0755}})
            ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
        const std::string before = testsupport::treeSnapshot(home.path());
        const std::string refused = (data / c.name).string() + " is in the way: it is " + c.kind;
        EXPECT_NE(launch().find(refused), std::string::npos);
        EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
        auto claim = SingleInstance::claim(data, 300ms);
        EXPECT_NE(claim.error.find(refused), std::string::npos) << claim.error;
        EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);

        std::filesystem::remove(data / c.name);
        EXPECT_EQ(launch(), "primary");
        EXPECT_EQ(modeOf(home.path()) & 07777, 0700u);
        EXPECT_TRUE(std::filesystem::is_directory(home.path() / "cache"));
    }
    // A data folder that is a link of the user's own to a folder in a home not private yet is looked
    // into where it leads.
    testsupport::TempHome home;
    std::filesystem::create_directories(home.path() / "kept");
    std::filesystem::create_directory_symlink(home.path() / "kept", home.path() / "data");
    ASSERT_EQ(::chmod(home.path().c_str(), 0755), 0);
    link(home.path() / "kept" / SingleInstance::kLockFileName);
    const std::string before = testsupport::treeSnapshot(home.path());
    EXPECT_NE(launch().find(" is in the way: it is a symbolic link"), std::string::npos);
    EXPECT_EQ(testsupport::treeSnapshot(home.path()), before);
    std::filesystem::remove(home.path() / "kept" / SingleInstance::kLockFileName);
    EXPECT_EQ(launch(), "primary");
}

// A process of another user answering in the socket's place is not believed: the claim fails
// rather than leave on its word. Needs to become another user: root (of a user namespace, for an
// ordinary user).
TEST(SingleInstance, AnAnswerFromAnotherUserIsNotBelieved) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // answers as another user
    testsupport::TempHome home;
    const auto folder = home.path() / "data";
    std::filesystem::create_directories(folder);
    const int held =
        ::open((folder / SingleInstance::kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const int listener = boundSocket(folder / SingleInstance::kSocketFileName);
    const pid_t impostor = ::fork();
    if (impostor == 0) {
        // The credentials a peer sees are those of the listen() call.
        if (::setuid(4242) != 0 || ::listen(listener, 4) != 0) ::_exit(1);
        for (;;) {
            const int peer = ::accept(listener, nullptr, nullptr);
            char request[16];
            if (peer >= 0 && ::read(peer, request, sizeof request) >= 0) (void)!::write(peer, "ok\n", 3);
            if (peer >= 0) ::close(peer);
        }
    }
    ASSERT_GT(impostor, 0);
    ::close(listener);
    // Asked until the impostor, a process of its own, gets to answer: only its answer fails the
    // claim for the reason looked for.
    auto claim = SingleInstance::claim(folder, testsupport::kPatience);
    ::kill(impostor, SIGKILL);
    ::waitpid(impostor, nullptr, 0);
    ::close(held);
    EXPECT_EQ(claim.role, SingleInstance::Role::Failed);
    EXPECT_NE(claim.error.find("another user (uid 4242)"), std::string::npos) << claim.error;
}

bool writeTo(const std::string& file, const std::string& text) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    const bool written =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) ::close(fd);
    return written;
}

// What a claim on `folder` says in a child process that `enter` set up first: "primary", or why not.
// With `parentMap` ("inside outside count" lines, for users and groups alike) the child first
// enters a user namespace of its own whose ids this process maps, as only a privileged parent may.
// With `act`, what `act` says instead of the claim.
std::string claimInChild(const std::function<bool()>& enter, const std::filesystem::path& folder,
                         const std::string& parentMap = "", const std::function<std::string()>& act = {}) {
    int channel[2], unshared[2], mapped[2];
    if (::pipe2(channel, O_CLOEXEC) != 0 || ::pipe2(unshared, O_CLOEXEC) != 0 ||
        ::pipe2(mapped, O_CLOEXEC) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        std::string said = "could not set the child up: " + std::string(std::strerror(errno));
        char byte = 0;
        const bool inNamespace =
            parentMap.empty() || (::unshare(CLONE_NEWUSER) == 0 && ::write(unshared[1], &byte, 1) == 1 &&
                                  ::read(mapped[0], &byte, 1) == 1 && byte == 1);
        if (inNamespace && enter()) {
            if (act) {
                said = act();
            } else {
                auto claim = SingleInstance::claim(folder, 300ms);
                said = claim.role == SingleInstance::Role::Primary ? "primary" : claim.error;
            }
        }
        (void)!::write(channel[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    ::close(unshared[1]);
    ::close(mapped[0]);
    char byte = 0;
    if (!parentMap.empty() && ::read(unshared[0], &byte, 1) == 1) {
        const std::string proc = "/proc/" + std::to_string(child) + "/";
        byte = writeTo(proc + "uid_map", parentMap) && writeTo(proc + "gid_map", parentMap) ? 1 : 0;
        (void)!::write(mapped[1], &byte, 1);
    }
    ::close(unshared[0]);
    ::close(mapped[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    return said;
}

// As `unshare -U -r`: a user namespace of its own in which this user is root and no other id is mapped.
bool enterUserNamespace() {
    const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
    return ::unshare(CLONE_NEWUSER) == 0 && writeTo("/proc/self/setgroups", "deny") &&
           writeTo("/proc/self/uid_map", "0 " + uid + " 1") &&
           writeTo("/proc/self/gid_map", "0 " + gid + " 1");
}

// In a mount namespace of its own (entered first): without /proc, as where none is mounted.
bool withoutProc() {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("none", "/proc", "tmpfs", 0, nullptr) == 0;
}

// With account files of its own: `passwd` and `group` bound over the system's in a mount namespace
// of its own.
bool withAccountFiles(const std::filesystem::path& passwd, const std::filesystem::path& group) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(passwd.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(group.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) == 0;
}

// As the ordinary user of the tests, with no capabilities left.
bool asOrdinaryUser() {
    const uid_t user = testsupport::kOrdinaryUser;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(user, user, user) == 0 &&
           ::setresuid(user, user, user) == 0;
}

} // namespace

// In a user namespace (a rootless container, a sandboxed application, `unshare -U -r`) the folders
// of unmapped owners, the real root's among them, show as the overflow uid. Above the data folder
// that owner acts as nobody in here; the data folder itself must still be ours.
TEST(SingleInstance, InAUserNamespaceFoldersAboveOfUnmappedOwnersAreAcceptedButNotWritableOnes) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes a folder of another user
    testsupport::TempHome home;
    const auto above = home.path() / "home", folder = above / "me" / "data";
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::chown(above.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chmod(above.c_str(), 0755), 0);
    EXPECT_EQ(claimInChild(enterUserNamespace, folder), "primary");
    // Without /proc nothing tells that this is such a namespace: that owner may be another user,
    // and the refusal says why it cannot be told.
    const std::string noProc = claimInChild([] { return enterUserNamespace() && withoutProc(); }, folder);
    EXPECT_NE(
        noProc.find(above.string() +
                    ", which belongs to another user (uid 65534), or, should this process run in a user "
                    "namespace, to one it does not map (root outside among them): /proc is not mounted, so "
                    "which cannot be told"),
        std::string::npos)
        << noProc;
    ASSERT_EQ(::chmod(above.c_str(), 0777), 0);
    EXPECT_NE(claimInChild(enterUserNamespace, folder).find(", which others may write"), std::string::npos);
    ASSERT_EQ(::chmod(above.c_str(), 0755), 0);
    ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
    EXPECT_NE(claimInChild(enterUserNamespace, folder)
                  .find(folder.string() + " belongs to another user (uid 65534"),
              std::string::npos);
    // A namespace that maps the overflow uid as well gives it to a user of its own (here 4242),
    // whom the kernel shows exactly as an unmapped owner: such a folder above counts as root's only
    // where no one else may write the folder it lies in.
    ASSERT_EQ(::chown(folder.c_str(), ::geteuid(), ::getegid()), 0);
    const std::string mapping = "0 " + std::to_string(::geteuid()) + " 1\n65534 4242 1\n";
    EXPECT_EQ(claimInChild([] { return true; }, folder, mapping), "primary");
    ASSERT_EQ(::chmod(home.path().c_str(), 0777), 0);
    EXPECT_NE(claimInChild([] { return true; }, folder, mapping)
                  .find(above.string() +
                        ", which belongs to a user this user namespace does not map (uid 65534 "
                        "here) and lies in a folder that others may write"),
              std::string::npos);
    ASSERT_EQ(::chmod(home.path().c_str(), 0700), 0);
    // Outside such a namespace that uid is a user like any other. (Run as root of one, where that
    // uid is unmapped, nothing can be given to it.)
    if (testsupport::inPartialUserNamespace()) return;
    ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(above.c_str(), 65534, 65534), 0);
    auto host = SingleInstance::claim(folder, 300ms);
    EXPECT_NE(host.error.find("which belongs to another user (uid 65534)"), std::string::npos) << host.error;
}

// Group write above the data folder, as `umask 002` leaves it: harmless for the user's own group
// (the primary group, no other account with it as its primary group, no other member listed),
// refused, naming the group, for a group of others.
TEST(SingleInstance, GroupWriteAboveIsHarmlessOnlyForTheUsersOwnGroup) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // gives a folder to another group
    testsupport::TempHome home;
    const auto above = home.path() / "share", folder = above / "velmora";
    const mode_t previous = ::umask(002);
    std::filesystem::create_directories(above);
    ::umask(previous);
    ASSERT_EQ(modeOf(above) & 0777, 0775u);
    {
        auto own = SingleInstance::claim(folder, 300ms);
        EXPECT_EQ(own.role, SingleInstance::Role::Primary) << own.error;
    }
    ASSERT_EQ(::chown(above.c_str(), 0, 100), 0);
    auto shared = SingleInstance::claim(folder, 300ms);
    EXPECT_NE(shared.error.find(above.string() + ", which members of the group users (gid 100) may write"),
              std::string::npos)
        << shared.error;
    // The user's primary group (uid 0 and gid 0 here, root or root of a namespace), with account
    // files of the child's own: its alone; another account's primary group too, which the group
    // file does not list; a group file that names another member.
    ASSERT_EQ(::chown(above.c_str(), 0, 0), 0);
    const std::string root = "root:x:0:0:root:/root:/bin/sh\n", groups = "root:x:0:\nusers:x:100:\n";
    int files = 0;
    const auto accountFiles = [&](const std::string& passwd, const std::string& group,
                                  mode_t passwdMode = 0644) {
        const auto passwdFile = home.path() / ("passwd" + std::to_string(++files)),
                   groupFile = home.path() / ("group" + std::to_string(files));
        testsupport::writeFile(passwdFile, passwd);
        testsupport::writeFile(groupFile, group);
        EXPECT_EQ(::chmod(passwdFile.c_str(), passwdMode), 0);
        return [=] { return withAccountFiles(passwdFile, groupFile); };
    };
    const auto withAccounts = [&](const std::string& passwd, const std::string& group) {
        return claimInChild(accountFiles(passwd, group), folder);
    };
    EXPECT_EQ(withAccounts(root, groups), "primary");
    const std::string refused = "which members of the group root (gid 0) may write";
    EXPECT_NE(withAccounts(root + "someone:x:4242:0::/:/bin/false\n", groups).find(refused),
              std::string::npos);
    EXPECT_NE(withAccounts(root, "root:x:0:someone\nusers:x:100:\n").find(refused), std::string::npos);

    // The account list counts only where it holds the user's own account: one that does not is not
    // the whole list (here the user's account comes, if at all, from a source that answers for one
    // account and lists none), and what it does not list may have the group.
    const std::string unsure = ": it is this user's primary group, but whether another account has it as its "
                               "primary group cannot be told, as the account list ";
    const std::string withoutUser = withAccounts("someone:x:4242:100::/:/bin/false\n", groups);
    EXPECT_NE(withoutUser.find(refused + unsure +
                               "does not hold this user's own account (uid 0) and so is not the "
                               "whole list"),
              std::string::npos)
        << withoutUser;
    // Nor does a list this user may not read (root's, 0600; read as the ordinary user with no
    // capabilities) stand for one without the other account that has the user's group.
    const auto theirs = home.path() / "ordinary", inTheirs = theirs / "velmora";
    std::filesystem::create_directories(theirs);
    ASSERT_EQ(::chown(theirs.c_str(), testsupport::kOrdinaryUser, testsupport::kOrdinaryUser), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 02770), 0);
    for (auto path = home.path(); path != path.root_path(); path = path.parent_path()) {
        if (modeOf(path) & S_IXOTH) continue;
        ASSERT_EQ(::chmod(path.c_str(), (modeOf(path) & 07777) | S_IXOTH), 0) << path;
    }
    const std::string ordinary = "ordinary:x:4141:4141::/:/bin/false\n",
                      ordinaryGroups = groups + "ordinary:x:4141:\n";
    const auto asOrdinary = [](const std::function<bool()>& accounts) {
        return [accounts] { return accounts() && asOrdinaryUser(); };
    };
    const std::string sharedWith =
        theirs.string() + ", which members of the group ordinary (gid 4141) may write";
    const std::string readable = claimInChild(
        asOrdinary(accountFiles(root + ordinary + "other:x:4242:4141::/:/bin/false\n", ordinaryGroups)),
        inTheirs);
    EXPECT_NE(readable.find(sharedWith + "; Velmora"), std::string::npos) << readable;
    EXPECT_EQ(claimInChild(asOrdinary(accountFiles(root + ordinary, ordinaryGroups)), inTheirs), "primary");
    const std::string unreadable = claimInChild(
        asOrdinary(accountFiles(root + ordinary + "other:x:4242:4141::/:/bin/false\n", ordinaryGroups, 0600)),
        inTheirs);
    EXPECT_NE(unreadable.find(sharedWith + unsure + "does not hold this user's own account (uid 4141)"),
              std::string::npos)
        << unreadable;

    // The list is read once a launch, however many folders of the group it judges: here the XDG
    // folders made under umask 002 and Velmora's folders in them. Each read opens the account file
    // the child was given, and so does the one look-up of the user's own account before it.
    const auto xdg = home.path() / "xdg";
    {
        const mode_t before = ::umask(002);
        for (const char* made :
             {"config/velmora", "config/autostart", "share/velmora/keychain", "cache/velmora"})
            std::filesystem::create_directories(xdg / made);
        ::umask(before);
    }
    testsupport::ScopedEnv noHome("VELMORA_HOME", nullptr),
        config("XDG_CONFIG_HOME", (xdg / "config").c_str()), data("XDG_DATA_HOME", (xdg / "share").c_str()),
        cache("XDG_CACHE_HOME", (xdg / "cache").c_str());
    const std::string once = claimInChild(accountFiles(root, groups), folder, "", [] {
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // Closes too: the kernel merges an event into the one queued before it when they are alike.
        if (watch < 0 || ::inotify_add_watch(watch, "/etc/passwd", IN_OPEN | IN_CLOSE) < 0)
            return "no inotify: " + std::string(std::strerror(errno));
        const std::string launched = launch();
        size_t opened = 0;
        inotify_event events[256]; // a watched file's events carry no name
        for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;)
            for (size_t i = 0; i < static_cast<size_t>(got) / sizeof(inotify_event); ++i)
                opened += (events[i].mask & IN_OPEN) != 0;
        ::close(watch);
        return launched + ", opened the account file " + std::to_string(opened) + " times";
    });
    EXPECT_EQ(once, "primary, opened the account file 2 times");
}

// Without /proc a file's access ACL is read from a descriptor opened anew by its name in its folder:
// a settings file and a keychain file of the user's own group, 0660, do not stop the launch. In a
// user namespace that maps only this user (the test run as root of one), root's folders above show
// as another user's, and the refusal says that /proc is missing.
TEST(SingleInstance, WithoutProcFilesOfTheUsersOwnGroupAreJudgedByTheirOwnAcl) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // mounts over /proc
    testsupport::TempHome home;
    const auto settings = home.path() / "config" / "io.velmora.mac.plist",
               items = home.path() / "data" / "keychain" / "generic-io.velmora.mac.items";
    testsupport::writeFile(settings, "");
    testsupport::writeFile(items, "");
    for (const auto& [path, mode] :
         {std::pair{home.path() / "config", 0700}, std::pair{home.path() / "data", 0700},
          std::pair{home.path() / "data" / "keychain", 0700}, std::pair{settings, 0660},
          std::pair{items, 0660}})
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    const auto passwd = home.path() / "passwd", group = home.path() / "group";
    testsupport::writeFile(passwd, "root:x:0:0:root:/root:/bin/sh\n");
    testsupport::writeFile(group, "root:x:0:\n");
    const std::string said = claimInChild([&] { return withAccountFiles(passwd, group) && withoutProc(); },
                                          home.path(), "", [] { return launch(); });
    if (testsupport::inPartialUserNamespace())
        EXPECT_NE(said.find("/proc is not mounted, so which cannot be told"), std::string::npos) << said;
    else
        EXPECT_EQ(said, "primary");
    EXPECT_EQ(modeOf(items) & 07777, 0660u);
}

// In a user namespace that maps no id (`unshare -U` alone) this process and every file show as the
// overflow uid: nothing can tell whose a file is, so no folder is used or changed.
TEST(SingleInstance, InAUserNamespaceThatDoesNotMapThisUserNoFolderIsUsedOrChanged) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // makes folders of another user
    testsupport::TempHome home;
    const auto theirs = home.path() / "theirs", ours = home.path() / "ours";
    std::filesystem::create_directories(theirs / "data");
    std::filesystem::create_directories(ours);
    testsupport::writeFile(ours / "planted", "theirs");
    for (const auto& [path, mode] :
         {std::pair{theirs, 0755}, std::pair{theirs / "data", 0777}, std::pair{ours / "planted", 0644}}) {
        ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    }
    ASSERT_EQ(::chmod(ours.c_str(), 0755), 0);
    const auto unmapped = [] { return ::unshare(CLONE_NEWUSER) == 0; };
    // Without /proc the namespace cannot be read: running as the overflow uid is reason enough.
    const auto unmappedWithoutProc = [] {
        return ::unshare(CLONE_NEWNS) == 0 &&
               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("none", "/proc", "tmpfs", 0, nullptr) == 0 && ::unshare(CLONE_NEWUSER) == 0;
    };
    for (const auto& enter : {std::function<bool()>(unmapped), std::function<bool()>(unmappedWithoutProc)}) {
        for (const auto& folder : {theirs / "data", ours}) {
            const std::string said = claimInChild(enter, folder);
            EXPECT_NE(said.find("does not map its own user"), std::string::npos) << said;
            EXPECT_FALSE(std::filesystem::exists(folder / SingleInstance::kLockFileName));
        }
    }
    EXPECT_EQ(modeOf(theirs / "data") & 07777, 0777u);
    EXPECT_EQ(modeOf(ours) & 07777, 0755u);
    EXPECT_EQ(modeOf(ours / "planted") & 07777, 0644u);
}

// A folder that cannot be made private (here, one on a read-only mount) is refused, naming it and
// what had been made private before it, rather than used as if it were private.
TEST(SingleInstance, AFolderThatCannotBeMadePrivateIsRefusedNamingIt) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // mounts a folder read-only
    testsupport::TempHome home;
    const auto folder = home.path() / "data", stuck = folder / "stuck";
    std::filesystem::create_directories(stuck);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(stuck.c_str(), 0755), 0);
    const auto readOnly = [&] {
        return ::unshare(CLONE_NEWNS) == 0 &&
               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount(stuck.c_str(), stuck.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
               ::mount(nullptr, stuck.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    };
    const std::string said = claimInChild(readOnly, folder);
    EXPECT_NE(said.find(stuck.string() + " could not be made private: Read-only file system"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("already changed before that: " + folder.string() + " (0755 -> 0700)"),
              std::string::npos)
        << said;
    EXPECT_FALSE(std::filesystem::exists(folder / SingleInstance::kLockFileName));
}
