#include "tests/support/RootInUserNamespace.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

// Inside ids 1..65533 are the other users; 65534 (the overflow id) and above stay unmapped.
constexpr unsigned long kOtherIds = 65533;
constexpr const char* kNewUidMap = "/usr/bin/newuidmap";
constexpr const char* kNewGidMap = "/usr/bin/newgidmap";

void skip(const std::string& text) {
    GTEST_SKIP() << text;
}

// The first of `kOtherIds` subordinate ids that `file` gives the user `name` (or its id `id`).
std::optional<unsigned long> subordinateStart(const char* file, const std::string& name, unsigned long id) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string owner = line.substr(0, first);
        if (owner != name && owner != std::to_string(id)) continue;
        char* end = nullptr;
        const unsigned long start = std::strtoul(line.c_str() + first + 1, &end, 10);
        const unsigned long count = std::strtoul(line.c_str() + second + 1, &end, 10);
        if (count >= kOtherIds) return start;
    }
    return std::nullopt;
}

// Why the kernel refused a user namespace, as far as an ordinary user can tell: where neither a
// seccomp filter (a container's) nor the system setting forbids them, a refusal with EPERM is the
// kernel's rule for a process in a chroot.
std::string refusal(int error) {
    std::string why = std::strerror(error);
    if (error == EPERM) {
        std::ifstream status("/proc/self/status");
        bool filtered = false;
        for (std::string line; std::getline(status, line);)
            filtered = filtered || line.rfind("Seccomp:\t2", 0) == 0;
        std::ifstream setting("/proc/sys/kernel/unprivileged_userns_clone");
        int allowed = 1;
        if (filtered)
            why += "; a seccomp filter on this process forbids them, as a container's may";
        else if (setting >> allowed && allowed == 0)
            why += "; unprivileged ones are turned off here (kernel.unprivileged_userns_clone is 0)";
        else
            why += "; the kernel refuses them inside a chroot";
    } else if (error == ENOSPC) {
        why += "; no more may be made here (user.max_user_namespaces)";
    } else if (error == EINVAL) {
        why += "; this kernel has none";
    }
    return why;
}

bool readAll(int fd, void* out, size_t size) {
    auto* bytes = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool inPartialUserNamespace() {
    std::ifstream map("/proc/self/uid_map");
    unsigned long inside = 0, outside = 0, count = 0;
    if (!(map >> inside >> outside >> count)) return false;
    return !(inside == 0 && outside == 0 && count == 4294967295UL);
}

bool rerunAsRootInUserNamespace() {
    if (::geteuid() == 0) return false;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(test->test_suite_name()) + "." + test->name();

    if (::access(kNewUidMap, X_OK) != 0 || ::access(kNewGidMap, X_OK) != 0) {
        skip("cannot play another user: newuidmap and newgidmap are not installed (package uidmap)");
        return true;
    }
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    const passwd* user = ::getpwuid(uid);
    const std::string userName = user ? user->pw_name : std::to_string(uid);
    const std::optional<unsigned long> uidStart = subordinateStart("/etc/subuid", userName, uid);
    const std::optional<unsigned long> gidStart = subordinateStart("/etc/subgid", userName, uid);
    if (!uidStart || !gidStart) {
        skip("cannot play another user: " + userName + " has no " + std::to_string(kOtherIds) +
             " subordinate " + (uidStart ? "group" : "user") + " ids in " +
             (uidStart ? "/etc/subgid" : "/etc/subuid"));
        return true;
    }

    // Made before the fork: the child of a process with threads only makes system calls.
    char exe[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", exe, sizeof exe - 1) <= 0) {
        ADD_FAILURE() << "this test program cannot be found again: " << std::strerror(errno);
        return true;
    }
    std::string filter = "--gtest_filter=" + name;
    char* argv[] = {exe, filter.data(), nullptr};
    int ready[2], go[2], output[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(go, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe: " << std::strerror(errno);
        return true;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Into a user namespace of its own; the parent maps it, then the test runs as its root.
        int error = ::unshare(CLONE_NEWUSER) == 0 ? 0 : errno;
        (void)!::write(ready[1], &error, sizeof error);
        char mapped = 0;
        if (error != 0 || ::read(go[0], &mapped, 1) != 1) ::_exit(127);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(0, 0, 0) != 0 || ::setresuid(0, 0, 0) != 0)
            ::_exit(126);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::execv(exe, argv);
        ::_exit(125);
    }
    ::close(ready[1]);
    ::close(go[0]);
    ::close(output[1]);
    const auto finish = [&](bool mapped) {
        if (mapped) (void)!::write(go[1], "1", 1);
        ::close(go[1]);
        std::string said;
        char buffer[4096];
        for (ssize_t n; (n = ::read(output[0], buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            said.append(buffer, static_cast<size_t>(n));
        }
        ::close(output[0]);
        ::close(ready[0]);
        int status = 0;
        while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return std::pair{status, said};
    };
    if (child < 0) {
        ADD_FAILURE() << "no child: " << std::strerror(errno);
        finish(false);
        return true;
    }

    int error = 0;
    if (!readAll(ready[0], &error, sizeof error)) error = ECHILD;
    if (error != 0) {
        finish(false);
        skip("cannot play another user: a user namespace is refused here (" + refusal(error) + ")");
        return true;
    }
    const std::string pid = std::to_string(child);
    std::string mapping[2];
    int mapStatus[2] = {-1, -1};
    mapping[0] = runCommand(std::string(kNewUidMap) + " " + pid + " 0 " + std::to_string(uid) + " 1 1 " +
                                std::to_string(*uidStart) + " " + std::to_string(kOtherIds) + " 2>&1",
                            &mapStatus[0]);
    if (mapStatus[0] == 0)
        mapping[1] = runCommand(std::string(kNewGidMap) + " " + pid + " 0 " + std::to_string(gid) + " 1 1 " +
                                    std::to_string(*gidStart) + " " + std::to_string(kOtherIds) + " 2>&1",
                                &mapStatus[1]);
    if (mapStatus[0] != 0 || mapStatus[1] != 0) {
        finish(false);
        skip("cannot play another user: the ids of a user namespace could not be mapped: " +
             mapping[mapStatus[0] != 0 ? 0 : 1]);
        return true;
    }

    const auto [status, said] = finish(true);
    const std::string where = " as root of a user namespace (0 is uid " + std::to_string(uid) + ", 1 to " +
                              std::to_string(kOtherIds) + " are from uid " + std::to_string(*uidStart) + ")";
    if (said.find("[  SKIPPED ] " + name) != std::string::npos) {
        skip("skipped" + where + ":\n" + said);
        return true;
    }
    const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                        said.find("[       OK ] " + name) != std::string::npos;
    if (!passed) ADD_FAILURE() << "failed" << where << " (wait status " << status << "):\n" << said;
    return true;
}

void plantAsAnotherUser(const std::filesystem::path& path, const std::string& bytes, mode_t mode) {
    writeFile(path, bytes);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
    ASSERT_EQ(::lchown(path.c_str(), kAnotherUser, kAnotherUser), 0) << path << ": " << std::strerror(errno);
}

void plantSocketAsAnotherUser(const std::filesystem::path& path) {
    // Bound under a short name (a socket's path has room for 107 bytes), then moved into place.
    static int count = 0;
    const std::filesystem::path bound =
        std::filesystem::temp_directory_path() / (".s" + std::to_string(::getpid()) + "-" + std::to_string(++count));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(bound.string().size(), sizeof address.sun_path) << bound;
    std::strncpy(address.sun_path, bound.c_str(), sizeof address.sun_path - 1);
    const int result = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(fd);
    ASSERT_EQ(result, 0) << bound << ": " << std::strerror(error);
    ASSERT_EQ(::rename(bound.c_str(), path.c_str()), 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::lchown(path.c_str(), kAnotherUser, kAnotherUser), 0) << path << ": " << std::strerror(errno);
}

void forEachUnopenableFileOfAnotherUser(const std::filesystem::path& path, const std::function<void()>& check) {
    const std::function<void()> plants[] = {
        [&] { plantAsAnotherUser(path, "theirs", 0600); },
        [&] { plantSocketAsAnotherUser(path); },
    };
    for (const auto& plant : plants) {
        std::filesystem::remove_all(path.parent_path());
        std::filesystem::create_directories(path.parent_path());
        plant();
        check();
    }
}

std::string asOrdinaryUser(const std::filesystem::path& home, const std::function<std::string()>& act) {
    return inChild([&]() -> std::string {
        // Everything of the home that is not kAnotherUser's becomes the ordinary user's.
        std::error_code ec;
        const auto give = [](const std::filesystem::path& entry) {
            struct stat info {};
            if (::lstat(entry.c_str(), &info) == 0 && info.st_uid != kAnotherUser)
                return ::lchown(entry.c_str(), kOrdinaryUser, kOrdinaryUser) == 0;
            return true;
        };
        if (!give(home)) return "";
        // The test folders above it are private to root: let the ordinary user pass through them.
        for (std::filesystem::path above = home.parent_path(); above != above.root_path(); above = above.parent_path()) {
            struct stat info {};
            if (::stat(above.c_str(), &info) == 0 && !(info.st_mode & S_IXOTH))
                ::chmod(above.c_str(), (info.st_mode & 07777) | S_IXOTH);
        }
        for (auto it = std::filesystem::recursive_directory_iterator(home, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (!give(it->path())) return "";
        if (ec || ::setgroups(0, nullptr) != 0 || ::setresgid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) != 0 ||
            ::setresuid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) != 0)
            return "";
        return act();
    });
}

std::string fileFacts(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return path.string() + ": " + std::strerror(errno);
    std::error_code ec;
    std::string contents;
    if (S_ISLNK(info.st_mode))
        contents = "-> " + std::filesystem::read_symlink(path, ec).string();
    else if (S_ISREG(info.st_mode))
        contents = readFile(path);
    return "inode " + std::to_string(info.st_ino) + ", mode " + std::to_string(info.st_mode) + ", uid " +
           std::to_string(info.st_uid) + ": " + contents;
}

} // namespace testsupport
