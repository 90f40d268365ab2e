#include "crash/record/CRWApplication.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWExecutionIdentifierModel.h"
#include "crash/record/CRWFileRead.h"
#include "crash/record/CRWSDKFileLog.h"
#include "tests/crash/record/RecordTestSupport.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A bundle whose identifier holds "/", with versions but no names and a malformed extension entry.
[[maybe_unused]] auto* const oddBundle =
    testsupport::addTestBundleEnvironment("<key>CFBundleIdentifier</key><string>io.velmora/mac</string>"
                                          "<key>CFBundleVersion</key><string>42</string>"
                                          "<key>CFBundleShortVersionString</key><string>1.2</string>"
                                          "<key>NSExtension</key><string>not a dictionary</string>");

std::atomic<int> handlerCalls{0};
std::atomic<int> loggingCalls{0};
std::atomic<int> imageCalls{0};

bool waitUntilInitialized() {
    return testsupport::waitUntil([] { return CRWContextIsInitialized(); });
}

class CRWContextStartup : public ::testing::Test {
protected:
    void SetUp() override {
        handlerCalls = loggingCalls = imageCalls = 0;
        CRWContextStartupHooks hooks;
        hooks.signals = [] { ++handlerCalls; };
        hooks.machExceptions = [] { ++handlerCalls; };
        hooks.exceptions = [] { ++handlerCalls; };
        hooks.userLogging = [] { ++loggingCalls; };
        hooks.binaryImages = [] { ++imageCalls; };
        hooks.debuggerAttached = [] { return false; };
        CRWContextSetStartupHooks(hooks);

        reportsRoot = CRWContextReportsRootPath();
        report = reportsRoot / CRWExecutionIdentifierModel().executionID();
        std::filesystem::create_directories(report);
        data.setRootPath(report.string() + "/");
        data.setPreviouslyCrashedFileRootPath(reportsRoot.string());
        data.setSessionId("0123456789abcdef0123456789abcdef");
        data.setAppHealthSessionId("health-1");
        data.setErrorsEnabled(true);
        data.setCustomExceptionsEnabled(false);
        data.setMaxCustomExceptions(8);
        data.setMaxLogSize(65536);
        data.setMaxKeyValues(64);
    }
    void TearDown() override { CRWContextSetStartupHooks({}); }

    std::map<std::string, plat::Object> metadata() const {
        std::map<std::string, plat::Object> byName;
        auto sections = CRWFileReadSections((report / "metadata.crwrecord").c_str(), false);
        if (!sections) return byName;
        for (const plat::Object& s : *sections)
            for (const auto& [name, value] : s.dict())
                byName[name] = value;
        return byName;
    }

    testsupport::TempHome home;
    std::filesystem::path reportsRoot, report;
    CRWContextInitData data;
};

TEST_F(CRWContextStartup, InitialisesInTheCachesFolderAndWritesTheMetadata) {
    EXPECT_EQ(reportsRoot, home.path() / "cache" / "com.crashwatch.data");
    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());

    auto sections = CRWFileReadSections((report / "metadata.crwrecord").c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 4u);
    const char* names[] = {"identity", "host", "application", "executable"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_TRUE((*sections)[i][names[i]].isDict()) << names[i];

    const plat::Object& identity = (*sections)[0]["identity"];
    EXPECT_EQ(identity["generator"].string(), "Crashwatch macOS SDK/3.2.0");
    EXPECT_EQ(identity["display_version"].string(), "3.2.0");
    EXPECT_EQ(identity["session_id"].string(), data.sessionId());
    EXPECT_EQ(identity["app_health_session_id"].string(), "health-1");
    EXPECT_EQ(identity["install_id"].string(), "");
    EXPECT_EQ(identity["beta_token"].string(), "");
    EXPECT_TRUE(identity["absolute_log_timestamps"].number().boolValue());
    EXPECT_NEAR(double(identity["started_at"].number().int64Value()), double(time(nullptr)), 60.0);

    struct utsname uts {};
    ASSERT_EQ(uname(&uts), 0);
    const plat::Object& host = (*sections)[1]["host"];
    EXPECT_EQ(host["machine"].string(), uts.machine);
    EXPECT_FALSE(host["cpu"].string().empty());
    EXPECT_EQ(host["os_build_version"].string(), uts.version);
    EXPECT_EQ(host["platform"].string(), "mac");
    EXPECT_EQ(host["tessera_platform"].string(), "macos");
    EXPECT_FALSE(host["locale"].string().empty());

    const plat::Object& application = (*sections)[2]["application"];
    EXPECT_EQ(application["bundle_id"].string(), "io.velmora_mac") << "'/' becomes '_'";
    EXPECT_TRUE(application["custom_bundle_id"].isNull());
    EXPECT_EQ(application["build_version"].string(), "42");
    EXPECT_EQ(application["display_version"].string(), "1.2");
    EXPECT_TRUE(application["extension_id"].isNull());
    EXPECT_EQ(CRWApplicationGetName(), "42") << "without names the version names the application";

    EXPECT_FALSE((*sections)[3]["executable"]["path"].string().empty());

    const std::string log = testsupport::readFile(report / "sdk.log");
    EXPECT_NE(log.find("Error: NSExtension Info.plist entry is mal-formed\n"), std::string::npos) << log;
}

TEST_F(CRWContextStartup, PreparesEveryPathAndLimitThenProtects) {
    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());
    const CRWReadOnlyContext* ro = _crwContext.readonly;
    const std::string root = report.string() + "/";
    EXPECT_STREQ(ro->logPath, (root + "sdk.log").c_str());
    EXPECT_STREQ(ro->initialReportPath, root.c_str());
    EXPECT_STREQ(ro->binaryImagePath, (root + "binary_images.crwrecord").c_str());
    EXPECT_STREQ(ro->signal.path, (root + "signal.crwrecord").c_str());
    EXPECT_STREQ(ro->machException.path, (root + "mach_exception.crwrecord").c_str());
    EXPECT_STREQ(ro->exception.path, (root + "exception.crwrecord").c_str());
    EXPECT_EQ(ro->exception.maxCustomExceptions, 0u) << "custom exceptions are off";
    EXPECT_STREQ(ro->previouslyCrashedFileFullPath, (reportsRoot / "previously-crashed").c_str());
    EXPECT_STREQ(ro->logging.logStorage.aPath, (root + "log_a.crwrecord").c_str());
    EXPECT_TRUE(ro->logging.logStorage.limitedBySize);
    EXPECT_EQ(ro->logging.logStorage.maxSize, 65536u);
    EXPECT_EQ(ro->logging.errorStorage.maxEntries, 8u);
    EXPECT_EQ(ro->logging.errorStorage.entryCount, &_crwContext.writable->logging.errorsCount);
    EXPECT_STREQ(ro->logging.customExceptionStorage.bPath, (root + "custom_exception_b.crwrecord").c_str());
    EXPECT_EQ(ro->logging.userKVStorage.maxCount, 64u);
    EXPECT_EQ(ro->logging.internalKVStorage.maxCount, 32u);
    EXPECT_STREQ(ro->logging.internalKVStorage.compactedPath,
                 (root + "internal_compacted_kv.crwrecord").c_str());
    EXPECT_GE(ro->host.pageSize, 4096u);
    EXPECT_NE(ro->signalStack, nullptr);
    EXPECT_NE(ro->machStack, ro->signalStack);
    EXPECT_EQ(handlerCalls.load(), 3);
    EXPECT_EQ(loggingCalls.load(), 1);
    EXPECT_EQ(imageCalls.load(), 1);
    EXPECT_TRUE(_crwContext.allocator->writeProtected);
    EXPECT_EQ(_crwContext.writable->logLevel, 1u);
}

// A report folder whose path is as long as a path can be: every path of the context still lies
// in the read-only region (a heap copy would never be freed, and leak checkers report it).
TEST_F(CRWContextStartup, PathsAsLongAsAPathCanBeStayInTheReadOnlyRegion) {
    std::filesystem::path root = report;
    while (root.string().size() < 3900)
        root /= std::string(std::min<size_t>(200, 3900 - root.string().size()), 'd');
    ASSERT_TRUE(std::filesystem::create_directories(root));
    data.setRootPath(root.string() + "/");
    ASSERT_TRUE(CRWContextInitialize(&data));
    const CRWReadOnlyContext* ro = _crwContext.readonly;
    const CRWAllocatorRegion& region = _crwContext.allocator->readOnlyRegion;
    const auto inRegion = [&](const char* path) {
        const auto address = reinterpret_cast<uintptr_t>(path);
        return path != nullptr && address >= region.start && address - region.start < region.size;
    };
    for (const char* path :
         {ro->logPath, ro->initialReportPath, ro->binaryImagePath, ro->signal.path, ro->exception.path,
          ro->logging.logStorage.bPath, ro->logging.userKVStorage.compactedPath,
          ro->logging.internalKVStorage.incrementalPath})
        EXPECT_TRUE(inRegion(path)) << (path ? std::string(path).substr(0, 80) : "none");
    EXPECT_EQ(std::string(ro->signal.path), root.string() + "/signal.crwrecord");
}

TEST_F(CRWContextStartup, WithADebuggerNoHandlersAreInstalled) {
    CRWContextStartupHooks hooks = CRWContextCurrentStartupHooks();
    hooks.debuggerAttached = [] { return true; };
    CRWContextSetStartupHooks(hooks);
    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());
    EXPECT_EQ(handlerCalls.load(), 0);
    EXPECT_EQ(imageCalls.load(), 1);
    EXPECT_EQ(loggingCalls.load(), 1);
    EXPECT_TRUE(_crwContext.readonly->debuggerAttached);
    EXPECT_EQ(_crwContext.readonly->signal.path, nullptr);
    EXPECT_NE(_crwContext.readonly->logging.logStorage.aPath, nullptr);
    EXPECT_TRUE(std::filesystem::exists(report / "metadata.crwrecord"));
    EXPECT_NE(testsupport::readFile(report / "sdk.log").find("Debugger present - not installing handlers\n"),
              std::string::npos);
}

TEST_F(CRWContextStartup, RefusesWithoutARootPath) {
    EXPECT_FALSE(CRWContextInitialize(nullptr));
    CRWContextInitData empty;
    EXPECT_FALSE(CRWContextInitialize(&empty));
    EXPECT_FALSE(CRWContextIsInitialized());
    EXPECT_NE(_crwContext.allocator, nullptr) << "the base is built all the same";
}

// Start-up ends inside the call: a write made as soon as it returns must not be refused.
TEST_F(CRWContextStartup, IsCompleteWhenInitializeReturns) {
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(CRWContextInitialize(&data));
        ASSERT_TRUE(CRWContextIsInitialized()) << "round " << round;
    }
}

// The notification block claims start-up's completion just before the initialising thread would,
// and is held right after its claim: start-up still ends before CRWContextInitialize returns.
std::atomic<bool> notificationClaimed{false};
TEST_F(CRWContextStartup, IsCompleteWhenInitializeReturnsThoughTheNotificationCompletesIt) {
    notificationClaimed = false;
    CRWContextStartupHooks hooks = CRWContextCurrentStartupHooks();
    hooks.completionForTesting = [](bool byInitializingThread, bool claimed) {
        if (!claimed) {
            testsupport::waitUntil([] { return notificationClaimed.load(); });
        } else if (!byInitializingThread) {
            notificationClaimed = true;
            // Long enough for the initialising thread to return, were it not waiting.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    };
    CRWContextSetStartupHooks(hooks);
    ASSERT_TRUE(CRWContextInitialize(&data));
    EXPECT_TRUE(notificationClaimed.load());
    EXPECT_TRUE(CRWContextIsInitialized());
}

TEST_F(CRWContextStartup, CrashFlagsAndTheMarker) {
    CRWContextBaseInit();
    EXPECT_FALSE(CRWContextIsInitialized()) << "not before start-up has finished";
    EXPECT_FALSE(CRWContextMarkAndCheckIfCrashed());
    EXPECT_FALSE(CRWContextHasCrashed());

    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());
    EXPECT_FALSE(CRWContextHasCrashed());
    EXPECT_FALSE(CRWContextMarkAndCheckIfCrashed()) << "the first caller records the crash";
    EXPECT_TRUE(CRWContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(CRWContextHasCrashed());

    EXPECT_FALSE(std::filesystem::exists(reportsRoot / "previously-crashed"));
    CRWCreateCrashedMarkerFile();
    EXPECT_TRUE(std::filesystem::exists(reportsRoot / "previously-crashed"));
    EXPECT_EQ(std::filesystem::file_size(reportsRoot / "previously-crashed"), 0u);
}

TEST_F(CRWContextStartup, RacingHandlersNeverBothGoFirst) {
    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());
    for (int round = 0; round < 50; ++round) {
        _crwContext.writable->crashOccurred = false;
        std::atomic<int> first{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                if (!CRWContextMarkAndCheckIfCrashed()) ++first;
            });
        for (auto& thread : threads)
            thread.join();
        ASSERT_EQ(first.load(), 1) << "round " << round;
    }
}

TEST_F(CRWContextStartup, RewritingTheMetadataReplacesTheWholeFile) {
    testsupport::writeFile(report / "metadata.crwrecord", "{\"stale\":{}}\n{\"stale2\":{}}\n");
    data.setAppHealthSessionId("health-2");
    ASSERT_TRUE(CRWContextRecordMetadata(report.string(), data));
    auto byName = metadata();
    EXPECT_EQ(byName.size(), 4u);
    EXPECT_EQ(byName.count("stale"), 0u);
    EXPECT_EQ(byName["identity"]["app_health_session_id"].string(), "health-2");
    EXPECT_FALSE(CRWContextRecordMetadata((report / "missing").string(), data));
}

// The report folder may hold what another user left in it while it was open: their internal log
// and image list that anyone may write, their metadata, a link where the signal record goes, and
// their crashed marker. Start-up removes and replaces none of them, and the files crash time makes
// from the folders' descriptors (the log, the marker, the records) are neither written into them
// nor made through the link; a record that must be new is made only once.
TEST_F(CRWContextStartup, WhatAnotherUserLeftIsNeitherRemovedNorWrittenAtCrashTime) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    const std::filesystem::path mine = home.path() / "cache" / "mine.txt";
    testsupport::writeFile(mine, "mine");
    testsupport::plantAsAnotherUser(report / "sdk.log", "theirs\n", 0666);
    testsupport::plantAsAnotherUser(report / "binary_images.crwrecord", "theirs\n", 0666);
    testsupport::plantAsAnotherUser(report / "metadata.crwrecord", "theirs\n", 0600);
    testsupport::plantAsAnotherUser(reportsRoot / "previously-crashed", "theirs\n", 0666);
    std::filesystem::create_symlink(mine, report / "signal.crwrecord");
    const auto state = [&] {
        std::string facts;
        for (const char* name : {"sdk.log", "binary_images.crwrecord", "metadata.crwrecord", "signal.crwrecord"})
            facts += testsupport::fileFacts(report / name) + "\n";
        return facts + testsupport::fileFacts(reportsRoot / "previously-crashed") + "\n" + testsupport::fileFacts(mine);
    };
    const std::string before = state();

    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());
    CRWSDKLogWarn("at crash time\n");
    CRWCreateCrashedMarkerFile();
    const CRWHeldFolder* folder = &_crwContext.readonly->reportFolder;
    for (const char* name : {"signal.crwrecord", "binary_images.crwrecord", "metadata.crwrecord"}) {
        for (const bool mustBeNew : {false, true}) {
            CRWFile file;
            EXPECT_FALSE(CRWFileInitInFolder(&file, folder, name, mustBeNew)) << name;
        }
    }
    EXPECT_EQ(state(), before);

    CRWFile file;
    ASSERT_TRUE(CRWFileInitInFolder(&file, folder, "mach_exception.crwrecord", true));
    CRWFileWriteStringUnquoted(&file, "made\n");
    ASSERT_TRUE(CRWFileClose(&file));
    EXPECT_FALSE(CRWFileInitInFolder(&file, folder, "mach_exception.crwrecord", true));
    EXPECT_EQ(testsupport::readFile(report / "mach_exception.crwrecord"), "made\n");
}

// The folders crash time writes in are held by what they are, not by their numbers.
class CRWHeldFolders : public CRWContextStartup {
protected:
    void SetUp() override {
        CRWContextStartup::SetUp();
        ASSERT_TRUE(CRWContextInitialize(&data));
        ASSERT_TRUE(waitUntilInitialized());
        other = home.path() / "other";
        std::filesystem::create_directories(other);
    }
    // What the crash-time paths leave: a record, the marker (noting the lost record), a log line.
    void writeAtCrashTime() {
        CRWFile file;
        made = CRWFileInitInFolder(&file, &_crwContext.readonly->reportFolder, CRWReportSignalFile, true);
        error = errno;
        if (made) {
            CRWFileWriteStringUnquoted(&file, "recorded\n");
            CRWFileClose(&file);
        } else {
            CRWCreateCrashedMarkerFileNotingLostRecord(CRWReportSignalFile, error);
        }
        CRWSDKLogWarn("written at crash time\n");
    }
    std::vector<std::string> entries(const std::filesystem::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path other;
    bool made = false;
    int error = 0;
};

// A dup2 onto the held number (or its reuse after a double close) sends nothing into the folder
// now behind it and is not mistaken for a folder that cannot be written: the record is lost, the
// marker says which and why, and the next launch logs it.
TEST_F(CRWHeldFolders, AReplacedReportFolderDescriptorWritesNothingAndTheLossIsLoggedNextLaunch) {
    const int held = _crwContext.readonly->reportFolder.descriptor;
    const int elsewhere = ::open(other.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(elsewhere, 0);
    ASSERT_EQ(::dup2(elsewhere, held), held);
    ::close(elsewhere);
    writeAtCrashTime();
    EXPECT_FALSE(made);
    EXPECT_EQ(error, ESTALE) << CRWErrnoName(error);
    EXPECT_EQ(entries(other), std::vector<std::string>{}) << "nothing is made in the other folder";
    EXPECT_FALSE(std::filesystem::exists(report / CRWReportSignalFile));
    const std::string id = report.filename().string();
    EXPECT_EQ(CRWLostRecordMessages((reportsRoot / "previously-crashed").string()),
              std::vector<std::string>{"Report " + id +
                                       ": the crash record signal.crwrecord could not be made (ESTALE)"});
    // The log was opened at start-up and names the loss.
    EXPECT_NE(testsupport::readFile(report / "sdk.log")
                  .find("Error: the folder of signal.crwrecord is no longer "
                        "the one opened at launch\n"),
              std::string::npos);

    // A plain file behind the number: the same loss, not a folder error.
    const int plain = ::open((home.path() / "plain").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::dup2(plain, held), held);
    ::close(plain);
    writeAtCrashTime();
    EXPECT_FALSE(made);
    EXPECT_EQ(error, ESTALE) << CRWErrnoName(error);
}

TEST_F(CRWHeldFolders, AReplacedMarkerFolderDescriptorLeavesNoMarkerElsewhere) {
    const int held = _crwContext.readonly->markerFolder.descriptor;
    const int elsewhere = ::open(other.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::dup2(elsewhere, held), held);
    ::close(elsewhere);
    CRWCreateCrashedMarkerFile();
    CRWCreateCrashedMarkerFileNotingLostRecord(CRWReportSignalFile, ESTALE);
    EXPECT_EQ(entries(other), std::vector<std::string>{});
    EXPECT_FALSE(std::filesystem::exists(reportsRoot / "previously-crashed"));
    // The report folder is still its own and takes the record.
    writeAtCrashTime();
    EXPECT_TRUE(made) << CRWErrnoName(error);
}

// The log is held like the folders: a file dup2'd onto its number gets no line. While the report
// folder is still its own the log is opened there again; once that folder is replaced as well, the
// line goes nowhere.
TEST_F(CRWHeldFolders, AReplacedLogDescriptorWritesNothingIntoTheFileNowBehindIt) {
    CRWSDKLogWarn("opens the log\n");
    const int held = _crwContext.writable->logFileDescriptor;
    ASSERT_GE(held, 0);
    const std::filesystem::path plain = home.path() / "plain";
    const int replacement = ::open(plain.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::dup2(replacement, held), held);
    ::close(replacement);
    writeAtCrashTime();
    EXPECT_TRUE(made) << CRWErrnoName(error);
    EXPECT_EQ(testsupport::readFile(plain), "") << "the log line went into the file dup2'd onto its number";
    EXPECT_NE(testsupport::readFile(report / "sdk.log").find("written at crash time"), std::string::npos);
    struct stat behind {};
    struct stat planted {};
    EXPECT_TRUE(::fstat(held, &behind) == 0 && ::stat(plain.c_str(), &planted) == 0 &&
                behind.st_ino == planted.st_ino)
        << "the number is left to its new owner";

    const int reopened = _crwContext.writable->logFileDescriptor;
    ASSERT_GE(reopened, 0);
    const int folder = _crwContext.readonly->reportFolder.descriptor;
    const int elsewhere = ::open(other.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::dup2(held, reopened), reopened);
    ASSERT_EQ(::dup2(elsewhere, folder), folder);
    ::close(elsewhere);
    CRWSDKLogWarn("nowhere\n");
    EXPECT_EQ(testsupport::readFile(plain), "");
    EXPECT_EQ(entries(other), std::vector<std::string>{});
    EXPECT_EQ(testsupport::readFile(report / "sdk.log").find("nowhere"), std::string::npos);
    ::close(held);
    ::close(reopened);
}

// Started with standard input, output and error closed, the held folders and the files made at
// crash time are never descriptor 0, 1 or 2, which anything printing would write into.
TEST_F(CRWHeldFolders, WithStandardStreamsClosedEveryHeldDescriptorIsThreeOrAbove) {
    int saved[3];
    for (int stream = 0; stream < 3; ++stream)
        saved[stream] = ::fcntl(stream, F_DUPFD_CLOEXEC, 10);
    for (int stream = 0; stream < 3; ++stream)
        ::close(stream);
    const CRWHeldFolder held = CRWContextOpenFolder(report.string());
    CRWFile file;
    const bool opened = CRWFileInitInFolder(&file, &held, "exception.crwrecord", true);
    const int record = file.descriptor;
    if (opened) CRWFileClose(&file);
    const int flags = ::fcntl(held.descriptor, F_GETFD);
    CRWHeldFolder closing = held;
    CRWContextCloseFolder(&closing);
    for (int stream = 0; stream < 3; ++stream) {
        ::dup2(saved[stream], stream);
        ::close(saved[stream]);
    }
    EXPECT_GE(held.descriptor, 3);
    EXPECT_TRUE(flags & FD_CLOEXEC);
    ASSERT_TRUE(opened);
    EXPECT_GE(record, 3);
    EXPECT_EQ(closing.descriptor, -1);
}

// A child forked by the application holds the parent's folders under the same numbers. Whatever
// it does at crash time before an exec, it makes none of the parent's records, marker or log lines,
// and the parent's own later crash still makes its record.
TEST_F(CRWHeldFolders, AForkedChildWritesNothingAndTheParentsRecordIsMadeLater) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeAtCrashTime();
        CRWCreateCrashedMarkerFile();
        ::_exit(made ? 1 : (error == ECHILD ? 0 : 2));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the child made the record; 2: refused for another reason";
    EXPECT_FALSE(std::filesystem::exists(report / CRWReportSignalFile));
    EXPECT_FALSE(std::filesystem::exists(reportsRoot / "previously-crashed"));
    EXPECT_EQ(testsupport::readFile(report / "sdk.log").find("written at crash time"), std::string::npos);

    writeAtCrashTime();
    EXPECT_TRUE(made) << CRWErrnoName(error);
    EXPECT_EQ(testsupport::readFile(report / CRWReportSignalFile), "recorded\n");
    EXPECT_NE(testsupport::readFile(report / "sdk.log").find("written at crash time"), std::string::npos);
}

// Real and effective user differ (a set-user-id start, or a launcher that changed only the
// effective one): the files are made by the effective user, and the crash-time check takes them
// as its own, as every other own-file check does.
TEST_F(CRWHeldFolders, TheEffectiveUserOwnsTheRecords) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plays two users at once
    const std::filesystem::path theirs = home.path() / "effective";
    std::filesystem::create_directories(theirs);
    ASSERT_EQ(::chown(theirs.c_str(), testsupport::kOrdinaryUser, testsupport::kOrdinaryUser), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const CRWHeldFolder held = CRWHoldFolder(::open(theirs.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        // Only the effective user changes.
        if (held.descriptor < 0 ||
            ::setresuid(static_cast<uid_t>(-1), testsupport::kOrdinaryUser, static_cast<uid_t>(-1)) != 0)
            ::_exit(3);
        CRWFile file;
        ::_exit(CRWFileInitInFolder(&file, &held, CRWReportSignalFile, true) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the effective user's own record was refused";
    struct stat made {};
    ASSERT_EQ(::stat((theirs / CRWReportSignalFile).c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, testsupport::kOrdinaryUser);
}

using CRWContextDeathTest = CRWContextStartup;

TEST_F(CRWContextDeathTest, TheReadOnlyContextCannotBeWrittenAfterStartUp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(CRWContextInitialize(&data));
    ASSERT_TRUE(waitUntilInitialized());
    _crwContext.writable->logging.userKVCount = 1; // the writable half stays writable
    EXPECT_DEATH(_crwContext.readonly->debuggerAttached = true, "");
}

} // namespace
