// An open file descriptor with one owner: closed when the holder goes out of scope or is given
// another one. Moves, never copies. Not thread-safe; the descriptor itself may be used anywhere.
#pragma once

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace plat {

class FileDescriptor {
public:
    FileDescriptor() = default;
    // Takes `fd` (or nothing, for a negative one: a failed open's result).
    explicit FileDescriptor(int fd) : fd_(fd < 0 ? -1 : fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // The descriptor, or -1 when none is held.
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }
    // Closes the held descriptor and takes `fd`. Keeps errno, which tells why `fd` may be -1.
    void reset(int fd = -1) {
        const int error = errno;
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd < 0 ? -1 : fd;
        errno = error;
    }

private:
    int fd_ = -1;
};

} // namespace plat
