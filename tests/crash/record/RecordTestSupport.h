// Shared pieces of the record-layer tests: a fresh crash context whose internal log goes to a
// temporary folder, and small file helpers.
#pragma once

#include "crash/record/CRWFile.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>

namespace crashtest {

// A new base-initialised crash context (not yet protected) whose internal log is "sdk.log" in a
// temporary $VELMORA_HOME. The context is left in place afterwards, as in a real process.
class ScopedLogContext {
public:
    ScopedLogContext();
    const std::filesystem::path& folder() const { return home_.path(); }
    std::filesystem::path logFile() const { return home_.path() / "sdk.log"; }
    std::string logText() const { return testsupport::readFile(logFile()); }

private:
    testsupport::TempHome home_;
};

// Writes with `write` into a fresh unbuffered record file at `path` and returns the file's bytes.
template <typename Write> std::string recordText(const std::filesystem::path& path, Write&& write) {
    CRWFile file;
    if (!CRWFileInitWithPathMode(&file, path.c_str(), false, false)) return "<open failed>";
    write(&file);
    CRWFileClose(&file);
    return testsupport::readFile(path);
}

} // namespace crashtest
