#include "tests/support/Process.h"

#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

pid_t startProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                   const std::filesystem::path& out, const std::filesystem::path& err,
                   const std::string* input, const std::set<std::string>& unset) {
    // Everything the child needs is made before the fork: after it, only exec.
    std::vector<std::string> variables, words = argv;
    for (char** v = environ; *v; ++v) {
        const std::string entry = *v;
        const std::string name = entry.substr(0, entry.find('='));
        if (!env.contains(name) && !unset.contains(name)) variables.push_back(entry);
    }
    for (const auto& [name, value] : env)
        variables.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (auto& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    for (auto& w : words)
        args.push_back(w.data());
    args.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (input && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    auto openOutput = [](const std::filesystem::path& path) {
        return ::open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0600);
    };
    const int o = openOutput(out);
    const int e = err.empty() ? o : openOutput(err);
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(input ? pipeFds[0] : nothing, 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    for (int fd : {o, e == o ? -1 : e, nothing, pipeFds[0]})
        if (fd >= 0) ::close(fd);
    if (input) {
        [[maybe_unused]] const ssize_t written =
            pid > 0 ? ::write(pipeFds[1], input->data(), input->size()) : 0;
        ::close(pipeFds[1]);
    }
    return pid;
}

} // namespace testsupport
