#include "heartbeat/FileStorage.h"
#include "heartbeat/HeartbeatStorage.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "tests/heartbeat/HeartbeatTestDates.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace heartbeat;
namespace fs = std::filesystem;

namespace {

fs::path storageFile(const std::string& id) {
    return plat::paths::applicationSupportDir() / "tessera-heartbeat-storage" / FileStorage::fileName(id);
}

HeartbeatsBundle bundleWith(const std::string& agent) {
    HeartbeatsBundle bundle(30);
    bundle.append(Heartbeat(agent, utcDate(2026, 3, 1), {TimePeriod::daily}));
    return bundle;
}

} // namespace

TEST(HeartbeatStorage, OneLiveInstancePerIdAndAFreshOneAfterwards) {
    testsupport::TempHome home;
    auto first = HeartbeatStorage::getInstance("1:111:ios:aaa");
    auto second = HeartbeatStorage::getInstance("1:111:ios:aaa");
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->queue(), second->queue());
    EXPECT_EQ(first->queue().label(), "com.heartbeat.storage.1:111:ios:aaa");
    EXPECT_NE(HeartbeatStorage::getInstance("other"), first);

    std::weak_ptr<HeartbeatStorage> weak = first;
    first.reset();
    second.reset();
    EXPECT_TRUE(weak.expired());
    auto third = HeartbeatStorage::getInstance("1:111:ios:aaa");
    EXPECT_TRUE(third);
    // Destroying an unrelated instance of the same id (made directly, not through the table)
    // must not drop the live entry.
    {
        auto stray =
            std::make_shared<HeartbeatStorage>("1:111:ios:aaa", FileStorage::makeStorage("1:111:ios:aaa"));
    }
    EXPECT_EQ(HeartbeatStorage::getInstance("1:111:ios:aaa"), third);
}

TEST(HeartbeatStorage, FileNamesReplaceSeparators) {
    EXPECT_EQ(FileStorage::fileName("1:2:3:4"), "heartbeats-1_2_3_4");
    EXPECT_EQ(FileStorage::fileName(std::string("a/../b\0c", 8)), "heartbeats-a_.._b_c");
}

TEST(HeartbeatStorage, ReadModifyWriteCreatesTheFileAndSavingNothingEmptiesIt) {
    testsupport::TempHome home;
    const mode_t previousMask = ::umask(0);
    const std::string id = "1:22:android:bbb";
    auto storage = HeartbeatStorage::getInstance(id);
    bool sawNothing = false;
    storage->readAndWriteSync([&](std::optional<HeartbeatsBundle> stored) -> std::optional<HeartbeatsBundle> {
        sawNothing = !stored;
        return bundleWith("first");
    });
    EXPECT_TRUE(sawNothing);
    ASSERT_TRUE(fs::exists(storageFile(id)));
    // Private whatever the umask: the folder 0700, the file 0600.
    EXPECT_EQ(fs::status(storageFile(id)).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(storageFile(id).parent_path()).permissions(), fs::perms(0700));
    EXPECT_EQ(fs::path(storageFile(id)).filename(), "heartbeats-1_22_android_bbb");

    std::optional<HeartbeatsBundle> seen;
    storage->readAndWriteSync([&](std::optional<HeartbeatsBundle> stored) {
        seen = stored;
        return std::optional<HeartbeatsBundle>();
    });
    EXPECT_EQ(seen, bundleWith("first"));
    EXPECT_EQ(fs::file_size(storageFile(id)), 0u);
    storage->readAndWriteSync([&](std::optional<HeartbeatsBundle> stored) {
        EXPECT_FALSE(stored);
        return stored;
    });
    ::umask(previousMask);
}

TEST(HeartbeatStorage, UndecodableFileCountsAsNothingAndIsReplaced) {
    testsupport::TempHome home;
    const std::string id = "garbled";
    testsupport::writeFile(storageFile(id), "{\"capacity\": \"thirty\"}");
    auto storage = HeartbeatStorage::getInstance(id);
    auto previous = storage->getAndSet([](std::optional<HeartbeatsBundle> stored) {
        EXPECT_FALSE(stored);
        return std::optional<HeartbeatsBundle>(bundleWith("fresh"));
    });
    EXPECT_FALSE(previous);
    EXPECT_EQ(storage->getAndSet([](auto stored) { return stored; }), bundleWith("fresh"));
}

TEST(HeartbeatStorage, FailedSaveIsReportedAndKeepsTheOldFile) {
    testsupport::TempHome home;
    const std::string id = "blocked";
    auto storage = HeartbeatStorage::getInstance(id);
    storage->readAndWriteSync([](auto) { return std::optional<HeartbeatsBundle>(bundleWith("kept")); });
    std::string before = testsupport::readFile(storageFile(id));

    // With a plain file where the folder should be, every write fails, even for root.
    fs::path folder = storageFile(id).parent_path();
    fs::path moved = home.path() / "moved";
    fs::rename(folder, moved);
    testsupport::writeFile(folder, "not a folder"); // the folder path is now a plain file
    try {
        storage->getAndSet([](auto) { return std::optional<HeartbeatsBundle>(bundleWith("lost")); });
        FAIL() << "the save should have failed";
    } catch (const StorageError& error) {
        EXPECT_EQ(error.code(), StorageError::writeError);
    }
    bool called = false;
    storage->getAndSetAsync([](auto) { return std::optional<HeartbeatsBundle>(bundleWith("lost")); },
                            [&](HeartbeatStorageProtocol::GetAndSetResult result) {
                                called = true;
                                EXPECT_FALSE(result.succeeded());
                                EXPECT_FALSE(result.previous);
                            });
    storage->readAndWriteSync([](auto stored) { return stored; }); // waits for the queue
    EXPECT_TRUE(called);
    fs::remove(folder);
    fs::rename(moved, folder);
    EXPECT_EQ(testsupport::readFile(storageFile(id)), before);
}

namespace {

// What a save answers, and whether the store's file, `planted` and the user's Documents stayed as
// they were.
std::string saveOver(const std::string& id, const fs::path& planted, const fs::path& documents) {
    const std::string before = testsupport::fileFacts(planted) + testsupport::treeSnapshot(documents);
    std::string said;
    try {
        HeartbeatStorage::getInstance(id)->getAndSet(
            [](auto) { return std::optional<HeartbeatsBundle>(bundleWith("written")); });
        said = "saved";
    } catch (const StorageError& error) {
        said = error.what();
    }
    const bool unchanged = testsupport::fileFacts(planted) + testsupport::treeSnapshot(documents) == before;
    return said + (unchanged ? "; unchanged" : "; changed");
}

} // namespace

// Another user's link or folder in place of the storage folder, left while data/ was open: no
// heartbeat is written through it, and it stays.
TEST(HeartbeatStorage, AFolderOfAnotherUserIsNeitherWrittenThroughNorReplaced) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    testsupport::TempHome home;
    const fs::path folder = storageFile("x").parent_path();
    const fs::path documents = home.path() / "Documents";
    const std::function<void()> plants[] = {
        [&] { fs::create_symlink(documents, folder); },
        [&] { fs::create_directories(folder); },
    };
    for (const auto& plant : plants) {
        fs::remove_all(folder.parent_path());
        fs::create_directories(folder.parent_path());
        fs::create_directories(documents);
        plant();
        ASSERT_EQ(::lchown(folder.c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
        fs::permissions(folder.parent_path(), fs::perms(0700));
        EXPECT_EQ(saveOver("app", folder, documents), "StorageError.writeError; unchanged");
        EXPECT_TRUE(fs::is_empty(documents));
    }
}

// For an ordinary user another user's 0600 file cannot be opened, nor can a socket: either is
// still refused as paths::refusalOf refuses it, and never written over.
TEST(HeartbeatStorage, AFileOfAnotherUserGetsOneAnswerWhetherOrNotItOpens) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    testsupport::TempHome home;
    const fs::path file = storageFile("app");
    testsupport::forEachUnopenableFileOfAnotherUser(file, [&] {
        const std::string said = testsupport::asOrdinaryUser(home.path(), [&] {
            const std::string refusal = plat::paths::refusalOf(file).value_or("not refused");
            return refusal.substr(0, file.string().size()) + ": " + saveOver("app", file, home.path() / "none");
        });
        EXPECT_EQ(said, file.string() + ": StorageError.writeError; unchanged");
    });
}
