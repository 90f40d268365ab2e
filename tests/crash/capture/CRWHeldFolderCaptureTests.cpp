// The crash paths write only through the folders held from launch while each descriptor is still
// its folder, and only in the process that opened them: a replaced descriptor loses the record
// (and says so to the next launch), and a forked child that crashes records nothing of its parent's.
#include "crash/capture/CRWException.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWFileRead.h"
#include "tests/crash/capture/CaptureTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using capturetest::CaptureContext;
using capturetest::ContextOptions;
namespace fs = std::filesystem;

bool emptyFolder(const fs::path& folder) {
    return fs::is_directory(folder) && fs::is_empty(folder);
}

TEST(CRWHeldFolderCapture, AFatalExceptionThroughAReplacedReportFolderIsLostAndNamedToTheNextLaunch) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    const fs::path other = context.report().parent_path().parent_path() / "other";
    fs::create_directories(other);
    const int elsewhere = ::open(other.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(elsewhere, 0);
    const int held = _crwContext.readonly->reportFolder.descriptor;
    ASSERT_EQ(::dup2(elsewhere, held), held);
    ::close(elsewhere);

    CRWExceptionRecord(CRWExceptionTypeCpp, "std::runtime_error", "boom", nullptr, 0, nullptr);
    EXPECT_TRUE(emptyFolder(other)) << "the exception record went into the folder behind the number";
    EXPECT_FALSE(fs::exists(context.file(CRWReportExceptionFile)));
    const fs::path marker = context.report().parent_path() / CRWPreviouslyCrashedFileName;
    EXPECT_EQ(CRWLostRecordMessages(marker.string()),
              std::vector<std::string>{"Report 0123456789abcdef0123456789abcdef: the crash record "
                                       "exception.crwrecord could not be made (ESTALE)"});
}

TEST(CRWHeldFolderCapture, AForkedChildThatCrashesBeforeExecRecordsNothingAndTheParentStillCan) {
    CaptureContext context(ContextOptions{.handlers = true});
    ASSERT_TRUE(context.started());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child's abort goes through the handlers it inherited (an abort, which the sanitizer
        // build leaves to them as well).
        ::raise(SIGABRT);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_FALSE(fs::exists(context.file(CRWReportSignalFile))) << "the child made the parent's record";
    EXPECT_FALSE(fs::exists(context.report().parent_path() / CRWPreviouslyCrashedFileName));
    EXPECT_EQ(context.logText().find("Signal: 6"), std::string::npos) << context.logText();

    // The parent's own crash later makes its record, which must be new.
    CRWFile file;
    ASSERT_TRUE(CRWFileInitInFolder(&file, &_crwContext.readonly->reportFolder, CRWReportSignalFile, true))
        << CRWErrnoName(errno);
    CRWFileClose(&file);
}

} // namespace
