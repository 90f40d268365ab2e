// Linked into every test binary (an object the test support library hands to each), so that no
// test process ever writes into the real user's folders.
//
// Before anything else runs, $HOME, the XDG base folders and $VELMORA_HOME point into this
// process's own folder (see processFolder), and they stay there for the life of the process: a
// test's data root replaces $VELMORA_HOME for a while and gives it back. Code that runs before any
// test made its data root, or that writes late, after its test's root is gone (a background queue
// storing a setting or an installation while the process exits), lands in here, and the programs
// the tests start inherit it. Without this such writes fell back to the user's own configuration,
// data and cache folders, and rewrote the settings and installation of a developer who uses the
// application on the same account.
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Names the home of the test process that started this one. A test process started by another
// (a death test's child, a binary that runs itself as a second writer) shares that one's home and
// keeps the data root it was given.
constexpr const char* kInheritedHomeVariable = "VELMORA_TEST_PROCESS_HOME";

// Before the ordinary static initializers, some of which already read settings.
__attribute__((constructor(101))) void giveTheProcessAHomeOfItsOwn() {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (const char* inherited = std::getenv(kInheritedHomeVariable);
        inherited && *inherited && fs::is_directory(inherited, ec))
        return;
    const fs::path home = testsupport::processFolder() / "home";
    fs::create_directories(home, ec);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    setenv("XDG_STATE_HOME", (home / ".local/state").c_str(), 1);
    setenv("VELMORA_HOME", (testsupport::processFolder() / "velmora").c_str(), 1);
    setenv(kInheritedHomeVariable, home.c_str(), 1);
}

} // namespace
