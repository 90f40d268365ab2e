// The report folder tree, the internal report's reading of a folder (torn ones included) and the
// launch marker.
#include "crash/record/CRWContext.h"
#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWInternalReport.h"
#include "crash/report/CRWLaunchMarkerModel.h"
#include "crash/report/CRWRolloutsPersistenceManager.h"
#include "tests/crash/report/ReportTestSupport.h"
#include "tests/support/RootInUserNamespace.h"

#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using reporttest::ReportTest;

class FileManagerTest : public ReportTest {};

// Makes a file undeletable even for the superuser (the immutable attribute), or lets it go again.
bool setImmutable(const fs::path& path, bool immutable) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    int flags = 0;
    bool done = ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    close(descriptor);
    return done;
}

TEST_F(FileManagerTest, TheTreeLivesUnderTheCachesFolderInANamespaceWithoutSlashes) {
    CRWFileManager files;
    const std::string root = (home_->path() / "cache" / "com.crashwatch.data" / "io.velmora_mac").string();
    EXPECT_EQ(files.pathNamespace(), "io.velmora_mac");
    EXPECT_EQ(files.rootPath(), root);
    EXPECT_EQ(files.activePath(), root + "/v5/reports/active");
    EXPECT_EQ(files.pendingPath(), root + "/v5/reports/pending");
    EXPECT_EQ(files.settingsCacheKeyPath(), root + "/v5/settings/cache-key.json");
    EXPECT_EQ(files.diagnosticsPath(), files.cachesPath() + "/MetricKit/Diagnostics/");

    ASSERT_TRUE(files.createReportDirectories());
    for (const std::string& path : {files.activePath(), files.processingPath(), files.preparedPath()}) {
        EXPECT_TRUE(fs::is_directory(path)) << path;
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_all) << path;
    }
    EXPECT_FALSE(fs::exists(files.pendingPath()));
    const auto report = files.setupNewPathForExecutionIdentifier("0123abcd");
    ASSERT_TRUE(report);
    EXPECT_EQ(*report, files.activePath() + "/0123abcd");
    EXPECT_TRUE(fs::is_directory(*report));
}

TEST_F(FileManagerTest, ReportFoldersStopAtTheFirstFolderThatCannotBeMade) {
    CRWFileManager files;
    fs::create_directories(files.structurePath());
    testsupport::writeFile(files.activePath(), "a file where a folder belongs");
    EXPECT_FALSE(files.createReportDirectories());
    EXPECT_FALSE(fs::exists(files.processingPath()));
    EXPECT_TRUE(logged("Unable to create directory"));
}

TEST_F(FileManagerTest, HiddenEntriesAreNeverListedMovedOrRemoved) {
    CRWFileManager files;
    ASSERT_TRUE(files.createReportDirectories());
    const fs::path active = files.activePath();
    testsupport::writeFile(active / "one" / "signal.crwrecord", "x");
    testsupport::writeFile(active / "two.crwrecord", "y");
    testsupport::writeFile(active / ".hidden", "z");

    std::vector<std::string> listed = files.activePathContents();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed,
              (std::vector<std::string>{(active / "one").string(), (active / "two.crwrecord").string()}));
    std::vector<std::string> extensions;
    files.enumerateFilesInDirectory(active.string(), [&](const std::string&, const std::string& extension) {
        extensions.push_back(extension);
    });
    std::sort(extensions.begin(), extensions.end());
    EXPECT_EQ(extensions, (std::vector<std::string>{"", "crwrecord"}));

    EXPECT_TRUE(files.removeContentsOfDirectoryAtPath(active.string()));
    EXPECT_TRUE(files.activePathContents().empty());
    EXPECT_TRUE(fs::exists(active / ".hidden"));
    EXPECT_FALSE(files.metricKitDiagnosticFileExists());
    testsupport::writeFile(fs::path(files.diagnosticsPath()) / ".DS_Store", "");
    EXPECT_FALSE(files.metricKitDiagnosticFileExists());
    testsupport::writeFile(fs::path(files.diagnosticsPath()) / "diagnostic", "");
    EXPECT_TRUE(files.metricKitDiagnosticFileExists());
}

TEST_F(FileManagerTest, AnUndeletableEntryDoesNotStopTheOthersButFailsTheRemoval) {
    CRWFileManager files;
    const fs::path folder = home_->path() / "mixed";
    testsupport::writeFile(folder / "a", "1");
    testsupport::writeFile(folder / "locked" / "inner", "2");
    testsupport::writeFile(folder / "z", "3");
    const bool superuser = geteuid() == 0;
    if (superuser) {
        if (!setImmutable(folder / "locked" / "inner", true)) GTEST_SKIP() << "no immutable files here";
    } else {
        fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_FALSE(files.removeContentsOfDirectoryAtPath(folder.string()));
    EXPECT_FALSE(fs::exists(folder / "a"));
    EXPECT_FALSE(fs::exists(folder / "z"));
    EXPECT_TRUE(fs::exists(folder / "locked" / "inner"));
    EXPECT_TRUE(logged("Failed to remove file " + (folder / "locked").string()));
    if (superuser)
        setImmutable(folder / "locked" / "inner", false);
    else
        fs::permissions(folder / "locked", fs::perms::owner_all);
}

TEST_F(FileManagerTest, MovesKeepTheNameAndReportBadInputs) {
    CRWFileManager files;
    ASSERT_TRUE(files.createReportDirectories());
    const fs::path report = fs::path(files.activePath()) / "abc";
    testsupport::writeFile(report / "metadata.crwrecord", "m");
    ASSERT_TRUE(files.moveItemAtPath(report.string(), files.processingPath()));
    EXPECT_EQ(testsupport::readFile(fs::path(files.processingPath()) / "abc" / "metadata.crwrecord"), "m");
    EXPECT_FALSE(files.moveItemAtPath(report.string(), files.preparedPath()));
    EXPECT_TRUE(logged("Failed to move file:"));
    EXPECT_FALSE(files.moveItemAtPath("", files.preparedPath()));
    EXPECT_TRUE(logged("Failed to move file, inputs invalid"));
    EXPECT_FALSE(files.removeItemAtPath(""));
    EXPECT_FALSE(files.fileSizeAtPath(report.string()));
    EXPECT_TRUE(logged("Unable to read file size:"));
}

TEST_F(FileManagerTest, ThePreviousCrashIsReadOncePerProcess) {
    CRWFileManager files;
    testsupport::writeFile(fs::path(files.rootPath()) / CRWPreviouslyCrashedFileName, "");
    EXPECT_TRUE(files.didCrashOnPreviousExecution());
    fs::remove(fs::path(files.rootPath()) / CRWPreviouslyCrashedFileName);
    EXPECT_TRUE(files.didCrashOnPreviousExecution());
    // Another file manager of the same process gets the same first reading.
    CRWFileManager later;
    EXPECT_TRUE(later.didCrashOnPreviousExecution());
    EXPECT_TRUE(later.crashFileMarkerExists());
}

// The data tree was open while another user left things in it, then became private: their link in
// place of the reports folder (to a folder of the user's elsewhere), a report folder of theirs and
// a launch marker of theirs. None is followed, written, replaced, moved or removed.
TEST_F(FileManagerTest, WhatAnotherUserLeftInTheTreeIsNeitherFollowedReplacedNorRemoved) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    const auto theirs = [](const fs::path& path) {
        ASSERT_EQ(::lchown(path.c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0) << path;
    };
    auto files = std::make_shared<CRWFileManager>();
    CRWLaunchMarkerModel marker(files);
    const auto queue = plat::DispatchQueue::serial("test.rollouts");
    CRWRolloutsPersistenceManager rollouts(files, queue);
    const fs::path cache = home_->path() / "cache";
    const fs::path elsewhere = home_->path() / "Documents";
    const auto state = [&] {
        return testsupport::treeSnapshot(cache) + testsupport::treeSnapshot(elsewhere) +
               testsupport::fileFacts(elsewhere / "active" / "run1" / "keep.txt") +
               testsupport::fileFacts(marker.launchFailureMarkerPath()) +
               testsupport::fileFacts(fs::path(files->activePath()) / "run2" / "metadata.crwrecord");
    };

    testsupport::writeFile(elsewhere / "active" / "run1" / "keep.txt", "mine");
    fs::create_directories(files->versionedPath());
    fs::create_symlink(elsewhere, files->structurePath());
    theirs(files->structurePath());
    fs::permissions(cache, fs::perms(0700));
    std::string before = state();
    EXPECT_FALSE(files->createReportDirectories());
    EXPECT_FALSE(marker.checkForAndCreateLaunchMarker());
    rollouts.updateRolloutsStateToPersistenceWithRollouts(plat::toData("{}"), "run1");
    queue.sync([] {});
    EXPECT_TRUE(files->activePathContents().empty());
    EXPECT_FALSE(files->removeItemAtPath(files->activePath() + "/run1"));
    EXPECT_FALSE(files->moveItemAtPath(files->activePath() + "/run1", files->versionedPath()));
    EXPECT_FALSE(files->removeItemAtPath(files->structurePath()));
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(logged(files->structurePath() + " is a link"));

    fs::remove(files->structurePath());
    ASSERT_TRUE(files->createReportDirectories());
    const fs::path report = fs::path(files->activePath()) / "run2";
    testsupport::plantAsAnotherUser(report / "metadata.crwrecord", "theirs", 0644);
    theirs(report);
    testsupport::plantAsAnotherUser(marker.launchFailureMarkerPath(), "theirs", 0644);
    before = state();
    EXPECT_FALSE(marker.createLaunchFailureMarker());
    EXPECT_FALSE(marker.removeLaunchFailureMarker());
    rollouts.updateRolloutsStateToPersistenceWithRollouts(plat::toData("{}"), "run2");
    queue.sync([] {});
    EXPECT_FALSE(files->moveItemAtPath(report.string(), files->processingPath()));
    EXPECT_FALSE(files->removeItemAtPath(report.string()));
    EXPECT_FALSE(files->removeContentsOfDirectoryAtPath(files->activePath()));
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(logged(report.string() + " belongs to another user"));
}

class InternalReportTest : public ReportTest {};

TEST_F(InternalReportTest, AReportIsIdentifiedAndDescribedByItsMetadata) {
    const fs::path folder = makeFolder(
        "r1", {{"metadata.crwrecord", metadata("session-1", 1700000000)}, {"binary_images.crwrecord", ""}});
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    EXPECT_EQ(report->identifier(), "session-1");
    EXPECT_EQ(report->directoryName(), "r1");
    EXPECT_EQ(report->orgID(), "org-7");
    EXPECT_EQ(report->OSVersion(), "12.6");
    EXPECT_EQ(report->OSBuildVersion(), "22A1");
    EXPECT_EQ(report->bundleVersion(), "42");
    EXPECT_EQ(report->bundleShortVersionString(), "1.2.3");
    EXPECT_EQ(report->dateCreated(), plat::Date{1700000000});
    EXPECT_FALSE(report->hasAnyEvents());
    EXPECT_FALSE(report->isCrash());
    EXPECT_FALSE(report->crashedOnDate());
}

TEST_F(InternalReportTest, CrashFilesMakeACrashAndTheSignalTimeDatesIt) {
    const fs::path folder =
        makeFolder("r2", {{"metadata.crwrecord", metadata("s", 5)}, {"exception.crwrecord", ""}});
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->isCrash());
    EXPECT_TRUE(report->hasAnyEvents());
    EXPECT_FALSE(report->crashedOnDate());

    testsupport::writeFile(folder / "signal.crwrecord", "{\"signal\":{\"number\":11,\"time\":1690000000}}\n");
    EXPECT_EQ(report->crashedOnDate(), plat::Date{1690000000});
    // The exception server's time comes first.
    testsupport::writeFile(folder / "mach_exception.crwrecord",
                           "{\"mach_exception\":{\"time\":1690000005}}\n");
    EXPECT_EQ(report->crashedOnDate(), plat::Date{1690000005});

    // Error records are events without being a crash.
    const fs::path errors =
        makeFolder("r3", {{"metadata.crwrecord", metadata("t", 5)}, {"errors_a.crwrecord", ""}});
    auto withErrors = CRWInternalReport::reportWithPath(errors.string());
    EXPECT_TRUE(withErrors->hasAnyEvents());
    EXPECT_FALSE(withErrors->isCrash());
    std::vector<std::string> visited;
    withErrors->enumerateSymbolicatableFilesInContent(
        [&](const std::string& path) { visited.push_back(CRWLastPathComponent(path)); });
    EXPECT_EQ(visited, CRWInternalReport::crashFileNames());
}

TEST_F(InternalReportTest, TornMetadataKeepsWhatReadsAndNeverFails) {
    // Without a session id the report cannot be loaded, and the folder is left alone.
    const fs::path anonymous =
        makeFolder("anon", {{"metadata.crwrecord", "{\"host\":{}}\n"}, {"signal.crwrecord", "x"}});
    EXPECT_FALSE(CRWInternalReport::reportWithPath(anonymous.string()));
    EXPECT_TRUE(logged("Unable to read identifier at path " + anonymous.string()));
    EXPECT_TRUE(fs::exists(anonymous / "signal.crwrecord"));

    // A damaged host line costs only the host's values.
    std::string lines = metadata("s", 77);
    const size_t host = lines.find("{\"host\"");
    lines[host + 3] = '\xff';
    const fs::path folder = makeFolder("torn", {{"metadata.crwrecord", lines}});
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    EXPECT_FALSE(report->OSVersion());
    EXPECT_EQ(report->bundleVersion(), "42");
    EXPECT_EQ(report->metadataContents().damagedLines, 1u);

    // Fewer sections, values of the wrong kind, or no file at all: none, and the 1970 date.
    const fs::path thin = makeFolder(
        "thin", {{"metadata.crwrecord", "{\"identity\":{\"session_id\":\"x\",\"started_at\":\"soon\"}}"}});
    auto thinReport = CRWInternalReport::reportWithPath(thin.string());
    ASSERT_TRUE(thinReport);
    EXPECT_FALSE(thinReport->bundleShortVersionString());
    EXPECT_EQ(thinReport->dateCreated(), plat::Date{0});
    auto missing = CRWInternalReport::initWithPath((home_->path() / "nowhere").string(), "id");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->orgID());
    EXPECT_EQ(missing->dateCreated(), plat::Date{0});
    EXPECT_FALSE(CRWInternalReport::initWithPath("", "id"));
    EXPECT_FALSE(CRWInternalReport::readCRWFileAtPath((home_->path() / "nowhere" / "x.crwrecord").string()));
}

TEST_F(InternalReportTest, RecordsThatAreNotPlainFilesAreNotOpened) {
    const fs::path folder = makeFolder("odd", {{"metadata.crwrecord", metadata("s", 1)}});
    ASSERT_EQ(mkfifo((folder / "signal.crwrecord").c_str(), 0600), 0);
    fs::create_directory(folder / "binary_images.crwrecord");
    // A pipe would block a reader forever; it counts as unreadable instead.
    EXPECT_EQ(CRWReadRecordFile((folder / "signal.crwrecord").string()).state,
              CRWRecordFileState::Unreadable);
    EXPECT_EQ(CRWReadRecordFile((folder / "binary_images.crwrecord").string()).state,
              CRWRecordFileState::Unreadable);
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->isCrash());
    EXPECT_FALSE(report->crashedOnDate());
}

class LaunchMarkerTest : public ReportTest {};

TEST_F(LaunchMarkerTest, TheMarkerOfAFailedLaunchIsFoundAndKept) {
    auto files = std::make_shared<CRWFileManager>();
    ASSERT_TRUE(files->createReportDirectories());
    CRWLaunchMarkerModel marker(files);
    EXPECT_EQ(marker.launchFailureMarkerPath(), files->structurePath() + "/launchmarker");
    EXPECT_FALSE(marker.checkForAndCreateLaunchMarker());
    EXPECT_TRUE(marker.launchFailureMarkerPresent());
    EXPECT_EQ(fs::status(marker.launchFailureMarkerPath()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // The next launch finds it: the previous one died during start-up.
    EXPECT_TRUE(marker.checkForAndCreateLaunchMarker());
    EXPECT_TRUE(logged("Last launch failed: this may indicate a crash shortly after app launch."));
    EXPECT_TRUE(marker.removeLaunchFailureMarker());
    EXPECT_FALSE(marker.launchFailureMarkerPresent());
    EXPECT_FALSE(marker.removeLaunchFailureMarker());
}

class RolloutsPersistenceTest : public ReportTest {};

TEST_F(RolloutsPersistenceTest, EachUpdateAppendsOneLineInCallOrder) {
    auto files = std::make_shared<CRWFileManager>();
    ASSERT_TRUE(files->setupNewPathForExecutionIdentifier("run1"));
    const auto queue = plat::DispatchQueue::serial("test.rollouts");
    CRWRolloutsPersistenceManager rollouts(files, queue);
    rollouts.updateRolloutsStateToPersistenceWithRollouts(plat::toData("{\"rollouts\":[1]}"), "run1");
    rollouts.updateRolloutsStateToPersistenceWithRollouts(plat::toData("{\"rollouts\":[2]}"), "run1");
    queue.sync([] {});
    const fs::path file = fs::path(files->activePath()) / "run1" / "rollouts.crwrecord";
    EXPECT_EQ(testsupport::readFile(file), "{\"rollouts\":[1]}\n{\"rollouts\":[2]}\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // A report folder that is not there, or no queue: nothing is written.
    rollouts.updateRolloutsStateToPersistenceWithRollouts(plat::toData("x"), "missing");
    EXPECT_TRUE(logged("Could not create rollouts.crwrecord file. Error was code: 2"));
    EXPECT_FALSE(CRWRolloutsPersistenceManager::initWithFileManager(files, std::nullopt));
    EXPECT_TRUE(logged("Failed to initialize CRWRolloutsPersistenceManager, logging queue is nil"));
    CRWRolloutsPersistenceManager withoutQueue(files, std::nullopt);
    withoutQueue.updateRolloutsStateToPersistenceWithRollouts(plat::toData("{\"rollouts\":[3]}"), "run1");
    EXPECT_TRUE(logged("Rollouts logging queue is dealloccated"));
    EXPECT_EQ(testsupport::readFile(file), "{\"rollouts\":[1]}\n{\"rollouts\":[2]}\n");
}

} // namespace
