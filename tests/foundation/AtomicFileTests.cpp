// Whole-file writes: replace or leave intact, never a temporary left behind; reads that refuse
// what is not a regular file; the kernel's boot time line.
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/KernelClock.h"

#include "../support/TestSupport.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(AtomicFile, ReplacesWholeFilesPrivatelyAndLeavesNothingBehindOnFailure) {
    testsupport::TempHome home;
    fs::path file = home.path() / "a" / "value";
    ASSERT_FALSE(plat::AtomicFile::createDirectories(file.parent_path()));
    ASSERT_FALSE(plat::AtomicFile::write(file, "first", {}));
    ASSERT_FALSE(plat::AtomicFile::write(file, "second", {}));
    EXPECT_EQ(testsupport::readFile(file), "second");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(names(file.parent_path()), std::vector<std::string>{"value"});

    // A folder in the way of the rename: the error names it, the folder and its content stay.
    fs::create_directories(home.path() / "a" / "blocked" / "inside");
    std::optional<plat::Error> error = plat::AtomicFile::write(home.path() / "a" / "blocked", "x", {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, plat::AtomicFile::kPOSIXErrorDomain);
    EXPECT_EQ(names(file.parent_path()), (std::vector<std::string>{"blocked", "value"}));

    plat::Error readError;
    EXPECT_FALSE(plat::AtomicFile::read(home.path() / "a" / "blocked", &readError));
    EXPECT_EQ(readError.code, EISDIR);
    EXPECT_FALSE(plat::AtomicFile::read(home.path() / "missing", &readError));
    EXPECT_EQ(readError.code, ENOENT);
    EXPECT_FALSE(plat::AtomicFile::read(file, &readError, 3));
    EXPECT_EQ(readError.code, EFBIG);
    EXPECT_EQ(plat::AtomicFile::read(file)->size(), 6u);

    // A file where a folder should be.
    EXPECT_TRUE(plat::AtomicFile::createDirectories(file / "below"));
}

TEST(AtomicFile, TheSweepRemovesOnlyInterruptedWrites) {
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "x" / ".event.tmp-Ab12Cd", "half");
    testsupport::writeFile(home.path() / "x" / "y" / ".other.tmp-zzzzzz", "half");
    testsupport::writeFile(home.path() / "x" / ".hidden", "keep");
    testsupport::writeFile(home.path() / "x" / "event.tmp-Ab12Cd", "keep: not hidden");
    EXPECT_EQ(plat::AtomicFile::removeTemporaryFiles(home.path() / "x"), 2u);
    EXPECT_EQ(names(home.path() / "x"), (std::vector<std::string>{".hidden", "event.tmp-Ab12Cd", "y"}));
    EXPECT_TRUE(names(home.path() / "x" / "y").empty());
}

TEST(KernelClock, ReadsTheBootTimeLineAndRefusesDamage) {
    EXPECT_EQ(plat::KernelClock::bootTimeFromProcStat("cpu 1 2 3\nbtime 1700000000\nprocesses 5\n"),
              1700000000);
    EXPECT_FALSE(plat::KernelClock::bootTimeFromProcStat("cpu 1\n"));
    EXPECT_FALSE(plat::KernelClock::bootTimeFromProcStat("btime 12x\n"));
    EXPECT_FALSE(plat::KernelClock::bootTimeFromProcStat("btime 99999999999999999999\n"));
    plat::KernelClockReading now = plat::KernelClock::read();
    EXPECT_GT(now.bootTimeNanoseconds, 0);
    EXPECT_LT(now.bootTimeNanoseconds, now.wallNanoseconds);
    EXPECT_GT(now.uptimeNanoseconds, 0);
}

} // namespace
