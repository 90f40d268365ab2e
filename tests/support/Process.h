// Starting another program from a test, as a shell would: the built application, a window manager,
// a clipboard tool.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// Starts the program `argv` in the background with this process's environment, less the names in
// `unset` and with `env` added (replacing what it names). Its output goes to `out` and its errors to
// `err` (both to `out` when `err` is empty; nowhere when both are); it reads `input` when given,
// else nothing. The process id, or -1 when it could not be started.
pid_t startProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                   const std::filesystem::path& out, const std::filesystem::path& err = {},
                   const std::string* input = nullptr, const std::set<std::string>& unset = {});

} // namespace testsupport
