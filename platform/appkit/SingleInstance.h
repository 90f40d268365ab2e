// One running application per data folder. The first launch takes an exclusive lock on a file in
// the folder and listens on a Unix socket beside it; a later launch on the same folder finds the
// lock taken, asks the running one over the socket to bring its window forward and then leaves,
// so two processes never share one data folder. Only a folder of this user is used, inside folders
// no other user can change: it is made private (0700), the lock file and the socket are the
// user's alone (0600), the running instance answers only connections of its own user, and a later
// launch believes only an answer from a process of its own user. The lock goes with the process,
// so a crashed instance never blocks the next launch.
//
// The socket is reached through the open folder (/proc/self/fd/N/velmora.socket), so a data folder
// whose path is longer than a socket address holds still works, and the socket bound is the one in
// the folder that was checked, whatever happens to the path meanwhile.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/foundation/FileDescriptor.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace plat {

class SingleInstance {
public:
    // The names of the two files in the data folder.
    static constexpr const char* kLockFileName = "velmora.lock";
    static constexpr const char* kSocketFileName = "velmora.socket";
    // The name of the thread that answers later launches.
    static constexpr const char* kListenerThreadName = "single-instance";

    enum class Role {
        Primary,    // this process holds the folder
        HandedOver, // another process holds it and was asked to come forward
        Failed,     // neither: `error` says why
    };
    struct Claim {
        Role role = Role::Failed;
        std::unique_ptr<SingleInstance> instance; // with Primary only
        std::string error;
    };

    // Becomes the folder's instance, or asks the one that holds it to come forward. A holder that
    // does not answer yet (it is still starting, or just quitting) is asked again until `patience`
    // has passed; should it release the lock meanwhile, this process takes the folder. Fails at
    // once, having changed nothing, for a folder that fails the folder check (folders::check) and
    // for what `inTheWay` finds; only the data folder is checked, and a folder that is private
    // already is not looked into. What only trying finds (a read-only folder) fails it too, naming
    // what the claim had changed by then.
    static Claim claim(const std::filesystem::path& folder,
                       Duration patience = std::chrono::milliseconds(3000));

    // How long the running instance gives one later launch to send its request (half a second);
    // none puts that back. Tests set it far beyond anything a crowded machine takes.
    static void setPeerTimeForTesting(std::optional<Duration> time);

    // Why the lock file or the socket could not be in `folder`, a data folder that passed the
    // folder check (at its real path): a lock file or socket of another user, or something other
    // than a regular file or a socket, is where they belong. None when nothing is there or what is
    // there will do, and when the folder is not there yet. Changes nothing. Any thread.
    static std::optional<std::string> inTheWay(const std::filesystem::path& folder);

    // Stops answering at once (no peer can hold it up), removes the socket and releases the lock.
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Called on the main queue each time a later launch asks this instance to come forward.
    void setActivationHandler(std::function<void()> handler);
    // How many such requests arrived so far. Any thread.
    uint64_t activationRequests() const { return requests_.load(); }

private:
    SingleInstance(FileDescriptor folderFd, FileDescriptor lockFd, FileDescriptor listenFd);
    void serve();
    void activated();

    FileDescriptor folderFd_;
    FileDescriptor lockFd_;
    FileDescriptor listenFd_;
    FileDescriptor wakeRead_, wakeWrite_;
    std::shared_ptr<std::function<void()>> handler_;
    std::atomic<uint64_t> requests_{0};
    std::thread listener_;
};

} // namespace plat
