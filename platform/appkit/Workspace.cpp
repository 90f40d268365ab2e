#include "platform/appkit/Workspace.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace plat {

struct Workspace::State {
    std::mutex mutex;
    Launcher launcher;
};

Workspace& Workspace::shared() {
    static Workspace* workspace = new Workspace();
    return *workspace;
}

Workspace::Workspace() : state_(new State()) {}

bool Workspace::canOpen(const URL& url) {
    if (!url.scheme()) return false;
    const std::string scheme = text::asciiLowercased(*url.scheme());
    if (scheme == "http" || scheme == "https") return url.host().has_value() && !url.host()->empty();
    return scheme == "mailto";
}

bool Workspace::open(const URL& url) {
    if (!canOpen(url)) return false;
    // The URL text cannot start with "-" (it starts with its scheme), so the opener never takes it
    // for an option.
    Launcher launcher;
    {
        std::lock_guard lock(state_->mutex);
        launcher = state_->launcher;
    }
    const std::vector<std::string> argv{"xdg-open", url.absoluteString()};
    return launcher ? launcher(argv) : spawnDetached(argv);
}

void Workspace::open(const URL& url, Outcome done) {
    auto tell = [done = std::move(done)](bool opened) {
        if (done) mainQueue().async([done, opened] { done(opened); });
    };
    if (!canOpen(url)) return tell(false);
    Launcher launcher;
    {
        std::lock_guard lock(state_->mutex);
        launcher = state_->launcher;
    }
    const std::vector<std::string> argv{"xdg-open", url.absoluteString()};
    if (launcher) return tell(launcher(argv));
    // The opener exits once it has handed the link on; a code other than 0 means it found nothing
    // to hand it to.
    if (!spawnDetached(argv, [tell](int code) { tell(code == 0); })) tell(false);
}

Workspace::Launcher Workspace::setLauncherForTesting(Launcher launcher) {
    std::lock_guard lock(state_->mutex);
    return std::exchange(state_->launcher, std::move(launcher));
}

bool Workspace::spawnDetached(const std::vector<std::string>& argv, std::function<void(int)> exited) {
    if (argv.empty()) return false;
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // The application blocks SIGINT and SIGTERM in its threads to take them in one place; the
    // opener must start with an ordinary signal mask and default handlers.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    // The opener hands the link on and exits quickly; reaping it keeps no zombie behind.
    std::thread([pid, exited = std::move(exited)] {
        int status = 0;
        pid_t reaped = -1;
        while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
        if (exited) exited(reaped == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }).detach();
    return true;
}

} // namespace plat
