#include "platform/appkit/SingleInstance.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr char kRequest[] = "activate\n";
constexpr char kReply[] = "ok\n";
// How long one side waits for the other's few bytes.
constexpr int kExchangeMillis = 1000;

std::string lastError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool socketAddress(const std::filesystem::path& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

// Reads until `expected` arrived whole, the peer closed, or the time is up.
bool receive(int fd, std::string_view expected) {
    std::string got;
    while (got.size() < expected.size()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kExchangeMillis) <= 0) return false;
        char buffer[16];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, expected.size() - got.size()));
        if (n <= 0) return false;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got == expected;
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Asks the instance listening at `path` to come forward; true once it confirmed.
bool askToComeForward(const std::filesystem::path& path) {
    sockaddr_un address;
    if (!socketAddress(path, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    sendAll(fd, kRequest) && receive(fd, kReply);
    ::close(fd);
    return ok;
}

// Listens at `path`, replacing what an earlier holder of the lock left there.
int listenAt(const std::filesystem::path& path, std::string& error) {
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        error = "the data folder's path is too long for its socket: " + path.string();
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = lastError("socket");
        return -1;
    }
    ::unlink(path.c_str());
    // Made owner-only from the start: the folder is private too, but the file says so itself.
    const mode_t previous = ::umask(0177);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
        error = lastError("listening at " + path.string());
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

SingleInstance::Claim SingleInstance::claim(const std::filesystem::path& folder, Duration patience) {
    Claim result;
    if (!paths::ensureDirectory(folder)) {
        result.error = "cannot make the data folder " + folder.string();
        return result;
    }
    const auto lockPath = folder / kLockFileName;
    const auto socketPath = folder / kSocketFileName;
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        result.error = lastError("opening " + lockPath.string());
        return result;
    }
    ::fchmod(lockFd, 0600);
    const auto deadline = Clock::system().now() + patience;
    for (;;) {
        if (::flock(lockFd, LOCK_EX | LOCK_NB) == 0) {
            const int listenFd = listenAt(socketPath, result.error);
            if (listenFd < 0) {
                ::close(lockFd);
                return result;
            }
            result.role = Role::Primary;
            result.instance.reset(new SingleInstance(lockFd, listenFd, socketPath));
            return result;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            result.error = lastError("locking " + lockPath.string());
            break;
        }
        if (askToComeForward(socketPath)) {
            result.role = Role::HandedOver;
            break;
        }
        if (Clock::system().now() >= deadline) {
            result.error = "another instance holds " + folder.string() + " but does not answer";
            break;
        }
        ::usleep(50 * 1000);
    }
    ::close(lockFd);
    return result;
}

SingleInstance::SingleInstance(int lockFd, int listenFd, std::filesystem::path socketPath)
    : lockFd_(lockFd), listenFd_(listenFd), socketPath_(std::move(socketPath)),
      handler_(std::make_shared<std::function<void()>>()) {
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) wakeFds_[0] = wakeFds_[1] = -1;
    listener_ = std::thread([this] { serve(); });
}

SingleInstance::~SingleInstance() {
    if (wakeFds_[1] >= 0) {
        const char stop = 's';
        [[maybe_unused]] const ssize_t n = ::write(wakeFds_[1], &stop, 1);
    } else {
        ::shutdown(listenFd_, SHUT_RDWR);
    }
    if (listener_.joinable()) listener_.join();
    // The socket goes first: a launch that finds the lock free never meets a dead socket of ours.
    ::unlink(socketPath_.c_str());
    ::close(listenFd_);
    for (int fd : wakeFds_)
        if (fd >= 0) ::close(fd);
    ::close(lockFd_);
}

void SingleInstance::setActivationHandler(std::function<void()> handler) {
    *handler_ = std::move(handler);
}

void SingleInstance::serve() {
    std::weak_ptr<std::function<void()>> weakHandler = handler_;
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        const int ready = ::poll(fds, wakeFds_[0] >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (fds[1].revents & POLLIN) || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int peer = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) continue;
        ucred who{};
        socklen_t length = sizeof who;
        const bool ownUser =
            ::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &who, &length) == 0 && who.uid == ::getuid();
        if (ownUser && receive(peer, kRequest)) {
            requests_.fetch_add(1);
            mainQueue().async([weakHandler] {
                auto handler = weakHandler.lock();
                if (handler && *handler) (*handler)();
            });
            sendAll(peer, kReply);
        }
        ::close(peer);
    }
}

} // namespace plat
