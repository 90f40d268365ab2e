#include "platform/appkit/SingleInstance.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FolderCheck.h"
#include "platform/log/OSLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kRequest[] = "activate\n";
constexpr char kReply[] = "ok\n";
// How long a later launch waits for one answer, all told.
constexpr Duration kAskTime = 1000ms;
// How long the running instance gives one peer to send its request, all told: peers are served
// side by side, so a silent one only ever holds its own place.
constexpr Duration kPeerTime = 500ms;
std::atomic<Duration::rep> peerTimeForTesting{0}; // none when zero
Duration peerTime() {
    const Duration::rep set = peerTimeForTesting.load();
    return set != 0 ? Duration(set) : kPeerTime;
}
constexpr size_t kMaxPeers = 16;
// Out of descriptors, the listener waits this long before it accepts again, doubling up to the
// most; a pending connection it cannot take must not keep it turning.
constexpr Duration kFirstBackOff = 50ms;
constexpr Duration kMostBackOff = 2000ms;

const OSLog& log() {
    static const OSLog* l = new OSLog("io.velmora.mac", "single-instance");
    return *l;
}

using folders::lastError;

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a pipe";
    return "a device or another special file";
}

// The refusal for `path`, which is something else than the `expected` kind of file we use there.
std::string inTheWay(const fs::path& path, mode_t mode, const char* expected) {
    return path.string() + " is in the way: it is " + kindOf(mode) + ", not " + expected +
           "; remove it and start Velmora again";
}

// Why what `info` describes, at `path`, cannot serve as the lock file (`socket` false) or the
// socket (true): it is another kind of file, or another user's. None when it can.
std::optional<std::string> unusable(const struct stat& info, const fs::path& path, bool socket) {
    if (socket ? !S_ISSOCK(info.st_mode) : !S_ISREG(info.st_mode))
        return inTheWay(path, info.st_mode, socket ? "a socket" : "a regular file");
    if (info.st_uid != ::geteuid()) return folders::ownedByAnother(path, info.st_uid);
    return std::nullopt;
}

// What `inTheWay` finds in the folder open as `folderFd` (at `folder`); nothing when it is none.
std::optional<std::string> lockOrSocketInTheWay(int folderFd, const fs::path& folder) {
    if (folderFd < 0) return std::nullopt; // not there yet: made empty
    for (const bool socket : {false, true}) {
        const char* name = socket ? SingleInstance::kSocketFileName : SingleInstance::kLockFileName;
        struct stat info {};
        if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            return lastError("checking " + (folder / name).string());
        }
        if (auto problem = unusable(info, folder / name, socket)) return problem;
    }
    return std::nullopt;
}

int millisUntil(TimePoint deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::system().now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 60'000));
}

// The address of the socket in the folder open as `folderFd`. Through the descriptor when /proc
// shows it, which keeps the address short whatever the folder's path; otherwise the path itself
// when it fits.
bool socketAddress(int folderFd, const fs::path& folder, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string viaFd = "/proc/self/fd/" + std::to_string(folderFd);
    struct stat seen {};
    struct stat held {};
    const bool procShowsIt = ::stat(viaFd.c_str(), &seen) == 0 && ::fstat(folderFd, &held) == 0 &&
                             seen.st_dev == held.st_dev && seen.st_ino == held.st_ino;
    const std::string text = procShowsIt ? viaFd + "/" + SingleInstance::kSocketFileName
                                         : (folder / SingleInstance::kSocketFileName).native();
    if (text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

uid_t peerUid(int fd) {
    ucred who{};
    socklen_t length = sizeof who;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &who, &length) != 0) return static_cast<uid_t>(-1);
    return who.uid;
}

enum class Answer { Confirmed, None, Foreign };

// Asks the instance listening in the folder to come forward. Believes only a process of this user.
Answer askToComeForward(int folderFd, const fs::path& folder, uid_t& answeredBy) {
    sockaddr_un address;
    if (!socketAddress(folderFd, folder, address)) return Answer::None;
    const FileDescriptor connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int fd = connection.get();
    if (fd < 0) return Answer::None;
    // A Unix socket connects at once or not at all (a full backlog: asked again later).
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return Answer::None;
    answeredBy = peerUid(fd);
    if (answeredBy != ::geteuid()) return Answer::Foreign;
    // A few bytes into an empty connection: the send never waits.
    if (::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof kRequest - 1))
        return Answer::None;
    const TimePoint deadline = Clock::system().now() + kAskTime;
    std::string got;
    while (got.size() < sizeof kReply - 1) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, millisUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Answer::None;
        char buffer[8];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, sizeof kReply - 1 - got.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return Answer::None;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got == kReply ? Answer::Confirmed : Answer::None;
}

// Listens in the folder, replacing a socket an earlier holder of the lock left there. Refuses
// anything else in the socket's place: it is not ours to remove.
FileDescriptor listenIn(int folderFd, const fs::path& folder, std::string& error) {
    const fs::path socketPath = folder / SingleInstance::kSocketFileName;
    struct stat there {};
    if (::fstatat(folderFd, SingleInstance::kSocketFileName, &there, AT_SYMLINK_NOFOLLOW) == 0) {
        if (auto problem = unusable(there, socketPath, true)) {
            error = *problem;
            return {};
        }
        ::unlinkat(folderFd, SingleInstance::kSocketFileName, 0);
    }
    sockaddr_un address;
    if (!socketAddress(folderFd, folder, address)) {
        error = "the data folder's path is too long for a socket address and /proc is not there to "
                "shorten it: " +
                folder.string();
        return {};
    }
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        error = lastError("socket");
        return {};
    }
    // Made owner-only from the start: the folder is private too, but the file says so itself.
    const mode_t previous = ::umask(0177);
    const bool bound = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::fchmodat(folderFd, SingleInstance::kSocketFileName, 0600, 0) != 0 ||
        ::listen(fd.get(), static_cast<int>(kMaxPeers)) != 0) {
        error = lastError("listening at " + socketPath.string());
        return {};
    }
    return fd;
}

// Opens the lock file in the folder: a regular file of this user, made private.
FileDescriptor openLockFile(int folderFd, const fs::path& folder, std::string& error) {
    const fs::path lockPath = folder / SingleInstance::kLockFileName;
    FileDescriptor fd(
        ::openat(folderFd, SingleInstance::kLockFileName, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    struct stat info {};
    if (!fd && errno == ELOOP &&
        ::fstatat(folderFd, SingleInstance::kLockFileName, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        error = inTheWay(lockPath, info.st_mode, "a regular file");
        return {};
    }
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        error = lastError("opening " + lockPath.string());
        return {};
    }
    if (auto problem = unusable(info, lockPath, false)) {
        error = *problem;
        return {};
    }
    if ((info.st_mode & 07777) != 0600 && ::fchmod(fd.get(), 0600) != 0) {
        error = folders::notMadePrivate(lockPath);
        return {};
    }
    return fd;
}

} // namespace

std::optional<std::string> SingleInstance::inTheWay(const fs::path& folder) {
    // Only looked at: a link of the user's own may lead there (a data folder that is a link in a
    // home not private yet), and the claim checks the folder again, through descriptors.
    const FileDescriptor fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd && errno == ENOENT) return std::nullopt;
    if (!fd) return lastError("looking into " + folder.string());
    return lockOrSocketInTheWay(fd.get(), folder);
}

void SingleInstance::setPeerTimeForTesting(std::optional<Duration> time) {
    peerTimeForTesting = time ? time->count() : 0;
}

SingleInstance::Claim SingleInstance::claim(const fs::path& given, Duration patience) {
    Claim result;
    // Everything that can be known without changing anything first.
    const folders::Checked checked = folders::check(given, "the data folder", folders::Use::Private);
    const std::optional<std::string> refused =
        checked.passed() ? lockOrSocketInTheWay(checked.fd.get(), checked.real) : checked.error;
    if (refused) {
        result.error = *refused;
        return result;
    }
    // The data folder (made when missing) once it has passed the folder check again: this user's,
    // nothing of another user inside, nobody else able to replace it. Made private on the way.
    folders::Checked ready = folders::prepare(given, "the data folder", folders::Use::Private);
    if (!ready.passed()) {
        result.error = ready.error + ready.changed.before();
        return result;
    }
    const fs::path& folder = ready.real;
    FileDescriptor lockFd = openLockFile(ready.fd.get(), folder, result.error);
    if (!lockFd) {
        result.error += ready.changed.before();
        return result;
    }
    const auto deadline = Clock::system().now() + patience;
    for (;;) {
        if (::flock(lockFd.get(), LOCK_EX | LOCK_NB) == 0) {
            FileDescriptor listenFd = listenIn(ready.fd.get(), folder, result.error);
            if (!listenFd) break;
            result.role = Role::Primary;
            result.instance.reset(
                new SingleInstance(std::move(ready.fd), std::move(lockFd), std::move(listenFd)));
            return result;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            result.error = lastError("locking " + (folder / kLockFileName).string());
            break;
        }
        uid_t answeredBy = 0;
        const Answer answer = askToComeForward(ready.fd.get(), folder, answeredBy);
        if (answer == Answer::Confirmed) {
            result.role = Role::HandedOver;
            break;
        }
        if (answer == Answer::Foreign) {
            result.error = "a process of another user (uid " + std::to_string(answeredBy) + ") answers at " +
                           (folder / kSocketFileName).string() + "; not handing over to it";
            break;
        }
        if (Clock::system().now() >= deadline) {
            result.error = "another instance holds " + folder.string() + " but does not answer";
            break;
        }
        ::usleep(50 * 1000);
    }
    if (result.role == Role::Failed) result.error += ready.changed.before();
    return result;
}

SingleInstance::SingleInstance(FileDescriptor folderFd, FileDescriptor lockFd, FileDescriptor listenFd)
    : folderFd_(std::move(folderFd)), lockFd_(std::move(lockFd)), listenFd_(std::move(listenFd)),
      handler_(std::make_shared<std::function<void()>>()) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) == 0) {
        wakeRead_.reset(ends[0]);
        wakeWrite_.reset(ends[1]);
    }
    listener_ = std::thread([this] { serve(); });
}

SingleInstance::~SingleInstance() {
    if (wakeWrite_) {
        const char stop = 's';
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_.get(), &stop, 1);
    } else {
        // Without the pipe, a shut-down socket reports a hang-up, which stops the listener too.
        ::shutdown(listenFd_.get(), SHUT_RDWR);
    }
    if (listener_.joinable()) listener_.join();
    // The socket goes first: a launch that finds the lock free never meets a dead socket of ours.
    // The lock is released as its descriptor closes, after the listening one's.
    ::unlinkat(folderFd_.get(), kSocketFileName, 0);
    listenFd_.reset();
    lockFd_.reset();
}

void SingleInstance::setActivationHandler(std::function<void()> handler) {
    *handler_ = std::move(handler);
}

void SingleInstance::activated() {
    requests_.fetch_add(1);
    mainQueue().async([weakHandler = std::weak_ptr<std::function<void()>>(handler_)] {
        auto handler = weakHandler.lock();
        if (handler && *handler) (*handler)();
    });
}

void SingleInstance::serve() {
    ::pthread_setname_np(::pthread_self(), kListenerThreadName);
    struct Peer {
        FileDescriptor fd;
        TimePoint deadline;
        std::string got;
        bool done = false;
    };
    std::vector<Peer> peers;
    TimePoint acceptAgain{};
    Duration backOff = Duration::zero();
    for (;;) {
        const TimePoint now = Clock::system().now();
        std::erase_if(peers, [&](const Peer& p) { return now >= p.deadline; });
        const bool accepting = now >= acceptAgain && peers.size() < kMaxPeers;
        // The listening socket is always watched for a hang-up; for connections only while accepting.
        std::vector<pollfd> fds{{listenFd_.get(), static_cast<short>(accepting ? POLLIN : 0), 0},
                                {wakeRead_.get(), POLLIN, 0}};
        const size_t firstPeer = fds.size();
        TimePoint wakeBy = now < acceptAgain ? acceptAgain : TimePoint::max();
        for (const Peer& p : peers) {
            fds.push_back({p.fd.get(), POLLIN, 0});
            wakeBy = std::min(wakeBy, p.deadline);
        }
        const int timeout = wakeBy == TimePoint::max() ? -1 : millisUntil(wakeBy);
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            log().error(lastError("no longer answering later launches: poll"));
            return;
        }
        if ((fds[1].revents & POLLIN) || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) return;

        // Each peer that sent something: read what is there, answer a whole request, drop the rest.
        for (size_t i = firstPeer; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            Peer& peer = peers[i - firstPeer];
            char buffer[16];
            const size_t want = sizeof kRequest - 1 - peer.got.size();
            const ssize_t n = ::read(peer.fd.get(), buffer, std::min(sizeof buffer, want));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n > 0) peer.got.append(buffer, static_cast<size_t>(n));
            const bool whole = peer.got.size() == sizeof kRequest - 1;
            if (whole && peer.got == kRequest) {
                activated();
                [[maybe_unused]] const ssize_t sent =
                    ::send(peer.fd.get(), kReply, sizeof kReply - 1, MSG_NOSIGNAL);
            }
            peer.done = n <= 0 || whole || std::string_view(kRequest).substr(0, peer.got.size()) != peer.got;
        }
        std::erase_if(peers, [](const Peer& p) { return p.done; });

        if (!(fds[0].revents & POLLIN)) continue;
        while (peers.size() < kMaxPeers) {
            FileDescriptor fd(::accept4(listenFd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (fd) {
                if (backOff != Duration::zero()) log().notice("answering later launches again");
                backOff = Duration::zero();
                if (peerUid(fd.get()) == ::geteuid())
                    peers.push_back({std::move(fd), Clock::system().now() + peerTime(), {}});
                continue;
            }
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The connection stays queued; taking it again at once would only spin.
                if (backOff == Duration::zero())
                    log().error(lastError("cannot take a later launch's connection") +
                                "; trying again shortly");
                backOff = std::clamp<Duration>(backOff * 2, kFirstBackOff, kMostBackOff);
                acceptAgain = Clock::system().now() + backOff;
                break;
            }
            log().error(lastError("no longer answering later launches: accept"));
            return;
        }
    }
}

} // namespace plat
