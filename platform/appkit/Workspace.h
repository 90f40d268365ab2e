// Hands URLs to the desktop: web links open in the default browser and mail links in the default
// mail application, through `xdg-open`. Only http, https and mailto links are accepted; any other
// scheme is refused, so a link from the network can never start a local program. A caller can learn
// whether the desktop opened the link, so it can tell the user when it did not. Thread-safe.
#pragma once

#include "platform/foundation/URL.h"

#include <functional>
#include <string>
#include <vector>

namespace plat {

class Workspace {
public:
    // Starts a program with these arguments (argv[0] is the program, found on PATH) without a
    // shell; returns whether it could be started. Tests install their own.
    using Launcher = std::function<bool(const std::vector<std::string>& argv)>;

    // The process-wide workspace; never destroyed.
    static Workspace& shared();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Whether `url` is a link this workspace opens: http or https with a host, or mailto (schemes
    // in any case).
    static bool canOpen(const URL& url);
    // Opens `url` with `xdg-open`, not waiting for it; true when the opener was started. Refused
    // links return false and start nothing.
    bool open(const URL& url);
    // Whether the desktop opened a link, told on the main queue.
    using Outcome = std::function<void(bool opened)>;
    // As open(url), then `done` learns the outcome: false for a refused link, an opener that could
    // not be started (none installed) or one that ended unsuccessfully (nothing to open it with);
    // true once the opener ended well.
    void open(const URL& url, Outcome done);

    // Replaces how programs are started; returns the previous launcher. An empty launcher restores
    // the real one.
    Launcher setLauncherForTesting(Launcher launcher);
    // The real launcher: spawns the program with standard input and output on /dev/null and reaps
    // it in the background; `exited` (optional) then gets its exit code (-1 when it did not exit
    // normally), on the reaping thread.
    static bool spawnDetached(const std::vector<std::string>& argv, std::function<void(int)> exited = {});

private:
    Workspace();
    struct State;
    State* state_;
};

} // namespace plat
