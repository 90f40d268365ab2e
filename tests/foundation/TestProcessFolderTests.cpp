// The temporary folder of a test process (its home and data roots) is gone by the time the process
// has ended, so that a test run leaves nothing in $TMPDIR once the runner sees it end.
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

bool emptyFolder(const fs::path& folder) {
    std::error_code ec;
    return fs::is_empty(folder, ec) && !ec;
}

// What the other test runs: a data root with something stored in it.
TEST(TestProcessFolder, HoldsADataRoot) {
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "data" / "stored", "x");
    EXPECT_TRUE(fs::exists(home.path() / "data" / "stored"));
}

TEST(TestProcessFolder, IsGoneOnceTheProcessHasEnded) {
    const fs::path tmp = testsupport::processFolder() / "tmp";
    fs::create_directories(tmp);
    // Started as the test runner starts a test binary: a home of its own, in a temporary folder of
    // its own.
    const pid_t pid = testsupport::startProcess(
        {fs::read_symlink("/proc/self/exe").string(), "--gtest_filter=TestProcessFolder.HoldsADataRoot"},
        {{"TMPDIR", tmp.string()}}, testsupport::processFolder() / "child.txt", {}, nullptr,
        {"VELMORA_TEST_PROCESS_HOME"});
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << testsupport::readFile(testsupport::processFolder() / "child.txt");
    EXPECT_TRUE(emptyFolder(tmp)) << "the ended test process left its folder in " << tmp;
    // Whatever it left is removed a moment later; the folder goes with this process's own.
    EXPECT_TRUE(testsupport::eventually([&] { return emptyFolder(tmp); }));
}

} // namespace
