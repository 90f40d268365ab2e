#include "tests/crash/support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace crashtest {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

ChildRun runChild(const std::string& path, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment, int signalWhenReady, int timeoutSeconds) {
    ChildRun run;
    std::vector<std::string> args{path};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const char* equals = strchr(*e, '=');
        const size_t nameLength = equals != nullptr ? static_cast<size_t>(equals - *e) + 1 : strlen(*e);
        bool replaced = false;
        for (const std::string& given : environment)
            replaced = replaced || given.compare(0, nameLength, *e, nameLength) == 0;
        if (!replaced) env.emplace_back(*e);
    }
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return run;
    }
    run.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool signalled = false;
    char buffer[4096];
    for (;;) {
        struct pollfd poller {
            pipeEnds[0], POLLIN, 0
        };
        if (poll(&poller, 1, 200) > 0) {
            const ssize_t count = read(pipeEnds[0], buffer, sizeof(buffer));
            if (count <= 0) break;
            run.output.append(buffer, static_cast<size_t>(count));
        }
        if (signalWhenReady != 0 && !signalled && run.output.find("ready\n") != std::string::npos) {
            kill(child, signalWhenReady);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) run.termSignal = WTERMSIG(status);
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    return run;
}

} // namespace crashtest
