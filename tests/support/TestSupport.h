// Helpers shared by the test binaries: a private data root per test and small file utilities.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>

namespace testsupport {

// A fresh temporary folder that becomes $VELMORA_HOME for the lifetime of the object and is
// removed afterwards. Tests that touch defaults, the keychain or other stored data create one.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// The folder in the temporary folder that holds every data root and the home of this test process
// (made on first use); it is removed once the process and the children it forked have ended.
const std::filesystem::path& processFolder();

// Sets (or clears, for nullptr) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// The permission bits (07777) of what `path` leads to; fails the test when there is nothing.
mode_t modeOf(const std::filesystem::path& path);

// Writes past this process's file-size limit fail as on a full disk (EFBIG instead of ENOSPC), for
// root too, in every thread, for as long as it lives: keep the scope to the write under test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// Writes bytes to a file, creating parent folders.
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Creates `path` (a temporary name of an atomic write) holding `bytes`. When `held`, the file stays
// open and locked as a live writer's is, and the descriptor is returned (close it to let go);
// otherwise it is what a killed writer leaves behind and -1 is returned.
int plantTemporaryFile(const std::filesystem::path& path, const std::string& bytes, bool held);

// A binary property list {"a<U+0000>b": "x"} whose key is UTF-16 text holding U+0000: damage
// that once made the system's property-list library abort the process.
std::string nulKeyPropertyList();

// Every entry under `root`, and `root` itself, without following links: one line each, sorted, with
// its path below `root`, kind (d, f, l, p, s or ?), mode and owner. Two snapshots are equal when
// nothing was made, removed or had its mode or owner changed; a difference shows in a failure.
std::string treeSnapshot(const std::filesystem::path& root);

// What `act` returned in a forked child of this process (which ends with it): for what must not
// touch this process, such as a new mount namespace. Empty when the child could not run or died.
// In the child only what is safe after a fork of a process with threads may run.
std::string inChild(const std::function<std::string()>& act);

// Runs a shell command and returns its standard output; `status` receives the exit status.
std::string runCommand(const std::string& command, int* status = nullptr);

// `protoc --decode=<message>` of `bytes` against `protoFile` in the source folder `protoDir`
// ("transport/proto"; message names with their package); `protoc --decode_raw` when `message` is
// empty. Fails the test when protoc fails.
std::string protocDecode(const std::string& bytes, const std::string& message, const std::string& protoDir,
                         const std::string& protoFile);

// Registers a gtest environment that, before any test runs, points $VELMORA_BUNDLE at a temporary
// bundle whose Info.plist names the application ("io.velmora.mac", "Velmora"). The main bundle is
// fixed on first use, so a binary whose code reads it calls this once at namespace scope.
::testing::Environment* addTestBundleEnvironment();
// The same with other Info.plist entries: `infoEntries` is the dictionary's body ("<key>...</key>
// <string>...</string>...").
::testing::Environment* addTestBundleEnvironment(const std::string& infoEntries);

} // namespace testsupport
