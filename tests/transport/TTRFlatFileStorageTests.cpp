// The flat-file storage end to end on a real temporary folder: naming, batching and the counter
// file, the size cap, the expiration sweep and the storage's own bookkeeping faults.
#include "TransportTestSupport.h"

#include "transport/TTRPlatform.h"
#include "transport/TTRStorageFileNames.h"
#include "transport/TTRUploadBatch.h"

#include "../support/RootInUserNamespace.h"
#include "../support/TestSupport.h"

#include <cstring>
#include <regex>

namespace fs = std::filesystem;
using namespace transporttest;

namespace {

class FlatFileStorage : public ::testing::Test {
protected:
    testsupport::TempHome home;
    std::shared_ptr<RecordingCoordinator> coordinator = std::make_shared<RecordingCoordinator>();
    // Below the cache folder, as the application's own store is: every entry there is judged.
    StorageFixture f{home.path() / "cache", coordinator};

    fs::path batchRoot() const { return f.root / "TTRFlatFileStorage" / "ttr_batch_data"; }
    fs::path libraryRoot() const { return f.root / "TTRFlatFileStorage" / "ttr_library_data"; }

    std::pair<std::optional<int64_t>, std::optional<TTREvents>>
    batch(const TTRStorageEventSelector& selector, plat::Date expiration = plat::Date{2'000'000'000.0}) {
        using Result = std::pair<std::optional<int64_t>, std::optional<TTREvents>>;
        return await<Result>([&](std::function<void(Result)> done) {
            f.storage->batchWithEventSelector(
                selector, expiration, [done](std::optional<int64_t> id, std::optional<TTREvents> events) {
                    done(Result(id, std::move(events)));
                });
        });
    }
    void removeBatch(int64_t id, bool deleteEvents) {
        await<bool>([&](std::function<void(bool)> done) {
            f.storage->removeBatchWithID(id, deleteEvents, [done] { done(true); });
        });
    }
    int32_t counterValue() {
        std::string bytes = testsupport::readFile(libraryRoot() / kTTRBatchIDCounterKey);
        EXPECT_EQ(bytes.size(), 4u);
        int32_t value = -1;
        if (bytes.size() == 4) std::memcpy(&value, bytes.data(), 4);
        return value;
    }
};

TEST_F(FlatFileStorage, FiveSessionEventsBecomeFiveNamedFilesThenOneBatchAndTheCounterAdvances) {
    std::regex pattern("[0-9A-F]{32}-3-[0-9]+-2102");
    for (int i = 0; i < 5; ++i) {
        auto [written, error] = f.store(makeEvent("2102", 1001, "event " + std::to_string(i)));
        EXPECT_TRUE(written);
        EXPECT_FALSE(error);
    }
    std::vector<std::string> names = StorageFixture::fileNames(f.targetFolder(1001));
    ASSERT_EQ(names.size(), 5u);
    for (const std::string& name : names)
        EXPECT_TRUE(std::regex_match(name, pattern)) << name;

    EXPECT_FALSE(fs::exists(libraryRoot() / kTTRBatchIDCounterKey));
    auto [id, events] =
        batch(TTRStorageEventSelector::eventSelectorForTarget(1001), plat::Date{1'800'000'000.5});
    ASSERT_EQ(id, 0);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->size(), 5u);
    EXPECT_TRUE(StorageFixture::fileNames(f.targetFolder(1001)).empty());
    EXPECT_EQ(StorageFixture::fileNames(batchRoot()), std::vector<std::string>{"1001-0-1800000000"});
    EXPECT_EQ(StorageFixture::fileNames(batchRoot() / "1001-0-1800000000"), names);
    // The counter file holds the next id, 1, as four little-endian bytes.
    EXPECT_EQ(testsupport::readFile(libraryRoot() / kTTRBatchIDCounterKey),
              std::string("\x01\x00\x00\x00", 4));
    for (const auto& event : *events)
        EXPECT_EQ(event->mappingID(), "2102");

    // Returning the batch puts the files back under their old names; deleting removes them.
    removeBatch(0, false);
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)), names);
    EXPECT_TRUE(StorageFixture::fileNames(batchRoot()).empty());
    auto second = batch(TTRStorageEventSelector::eventSelectorForTarget(1001));
    EXPECT_EQ(second.first, 1);
    removeBatch(1, true);
    EXPECT_TRUE(StorageFixture::fileNames(f.targetFolder(1001)).empty());
    EXPECT_TRUE(StorageFixture::fileNames(batchRoot()).empty());
    EXPECT_EQ(counterValue(), 2);
}

TEST_F(FlatFileStorage, SelectorsFilterByTierEventIDAndDecodedMappingID) {
    auto tier3 = makeEvent("2102", 1001);
    auto tier4 = makeEvent("2101", 1001);
    tier4->setQosTier(4);
    auto tier1 = makeEvent("a/b c", 1001);
    tier1->setQosTier(1);
    for (const auto& e : {tier3, tier4, tier1})
        ASSERT_TRUE(f.store(e).first);
    testsupport::writeFile(f.targetFolder(1001) / ".hidden-3-1-2102", "x");
    testsupport::writeFile(f.targetFolder(1001) / "notes.txt", "a foreign file");

    auto byTier = batch(TTRStorageEventSelector(1001, std::nullopt, std::nullopt, std::set<int64_t>{3, 4}));
    ASSERT_TRUE(byTier.second);
    std::set<std::string> ids;
    for (const auto& e : *byTier.second)
        ids.insert(e->eventID());
    EXPECT_EQ(ids, (std::set<std::string>{tier3->eventID(), tier4->eventID()}));

    auto byMapping =
        batch(TTRStorageEventSelector(1001, std::nullopt, std::set<std::string>{"a/b c"}, std::nullopt));
    ASSERT_TRUE(byMapping.second);
    ASSERT_EQ(byMapping.second->size(), 1u);
    EXPECT_EQ(byMapping.second->front()->eventID(), tier1->eventID());

    // Nothing left that matches: no batch, but the id is used up all the same.
    auto none =
        batch(TTRStorageEventSelector(1001, std::set<std::string>{"NOPE"}, std::nullopt, std::nullopt));
    EXPECT_FALSE(none.first);
    EXPECT_FALSE(none.second);
    EXPECT_EQ(counterValue(), 3);
    // The hidden and the foreign file were neither batched nor deleted.
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)),
              (std::vector<std::string>{".hidden-3-1-2102", "notes.txt"}));
}

// The store keeps a target's folder open across stores; one removed, or moved away and replaced,
// meanwhile is reached again by its path, and the event lands where the path leads.
TEST_F(FlatFileStorage, AnEventFolderRemovedOrReplacedMeanwhileIsReachedAgain) {
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    fs::remove_all(f.targetFolder(1001));
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)).size(), 1u);
    fs::rename(f.targetFolder(1001), f.root / "moved");
    fs::create_directory(f.targetFolder(1001), f.root);
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)).size(), 1u);
    EXPECT_EQ(StorageFixture::fileNames(f.root / "moved").size(), 1u);
}

TEST_F(FlatFileStorage, TheSizeCapRefusesTheEventThatWouldPassTwentyMillionBytesAndReportsTheDrop) {
    auto delegate = std::make_shared<RecordingDelegate>();
    f.storage->setDelegate(delegate);
    auto event = makeEvent("2102", 1001);
    std::optional<plat::Data> archive = TTREncodeArchive(*event, fs::path(), nullptr);
    ASSERT_TRUE(archive);
    // Fill the tree so that exactly archive-size - 1 bytes remain.
    testsupport::writeFile(libraryRoot() / "filler",
                           std::string(kTTRFlatFileStorageSizeLimit - archive->size() + 1, 'x'));

    auto [written, error] = f.store(event);
    EXPECT_FALSE(written);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "TTRFlatFileStorage");
    EXPECT_EQ(error->code, 0);
    EXPECT_EQ(error->userInfo["NSLocalizedFailureReason"].string(), "Storage size limit has been reached.");
    EXPECT_TRUE(StorageFixture::fileNames(f.targetFolder(1001)).empty());
    ASSERT_EQ(delegate->dropped.size(), 1u);
    EXPECT_EQ(delegate->dropped.front()->eventID(), event->eventID());

    // One byte more room and an archive of the same length fits exactly.
    testsupport::writeFile(libraryRoot() / "filler",
                           std::string(kTTRFlatFileStorageSizeLimit - archive->size(), 'x'));
    f.storage->sizeTracker(); // the cache is reset by the sweep below
    f.storage->checkForExpirations();
    EXPECT_TRUE(f.store(event).first);
    uint64_t size = await<uint64_t>(
        [&](std::function<void(uint64_t)> done) { f.storage->storageSizeWithCallback(done); });
    EXPECT_EQ(size, kTTRFlatFileStorageSizeLimit);
}

TEST_F(FlatFileStorage, AnExpirationSweepDeletesExpiredEventsOnceAndReturnsExpiredBatches) {
    auto delegate = std::make_shared<RecordingDelegate>();
    f.storage->setDelegate(delegate);
    const double now = f.clock.wallNow().secondsSince1970;
    auto expiring = makeEvent("2102", 1001);
    expiring->setExpirationDate(plat::Date{now + 10});
    auto batched = makeEvent("2101", 1002);
    batched->setExpirationDate(plat::Date{now + 20});
    auto lasting = makeEvent("2102", 1001);
    lasting->setExpirationDate(plat::Date{now + 1000});
    for (const auto& e : {expiring, batched, lasting})
        ASSERT_TRUE(f.store(e).first);
    auto made = batch(TTRStorageEventSelector::eventSelectorForTarget(1002), plat::Date{now + 5});
    ASSERT_EQ(made.first, 0);

    f.storage->checkForExpirations();
    f.drain();
    EXPECT_TRUE(delegate->expiredCalls.empty()) << "nothing has expired yet";
    EXPECT_EQ(StorageFixture::fileNames(batchRoot()).size(), 1u);

    f.clock.setWallNow(plat::Date{now + 30});
    f.storage->checkForExpirations();
    f.storage->checkForExpirations();
    f.drain();
    // The batch came back and its expired event went in the same sweep; one report of two events.
    EXPECT_TRUE(StorageFixture::fileNames(batchRoot()).empty());
    EXPECT_TRUE(StorageFixture::fileNames(f.targetFolder(1002)).empty());
    ASSERT_EQ(delegate->expiredCalls.size(), 1u);
    std::set<std::string> ids;
    for (const auto& e : delegate->expiredCalls.front())
        ids.insert(e->eventID());
    EXPECT_EQ(ids, (std::set<std::string>{expiring->eventID(), batched->eventID()}));
    ASSERT_EQ(StorageFixture::fileNames(f.targetFolder(1001)).size(), 1u);
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)).front().substr(0, 32), lasting->eventID());
}

TEST_F(FlatFileStorage, ATierFourEventForcesAnUploadOfItsTargetAfterItsCompletion) {
    auto event = makeEvent("2101", 1002);
    event->setQosTier(4);
    bool forcedBeforeCompletion = true;
    await<bool>([&](std::function<void(bool)> done) {
        f.storage->storeEvent(event, [&, done](bool written, const std::optional<plat::Error>&) {
            std::lock_guard guard(coordinator->lock);
            forcedBeforeCompletion = !coordinator->forced.empty();
            done(written);
        });
    });
    f.drain();
    EXPECT_FALSE(forcedBeforeCompletion);
    EXPECT_EQ(coordinator->forced, std::vector<int64_t>{1002});
    EXPECT_TRUE(f.store(makeEvent("2102", 1001)).first);
    EXPECT_EQ(coordinator->forced.size(), 1u) << "tier 3 forces nothing";
}

TEST_F(FlatFileStorage, EventsWithoutBytesAreRefusedAndHasEventsCreatesTheTargetFolder) {
    auto empty = TTREvent::initWithMappingID("2102", 1001);
    empty->setDataObject(std::make_shared<BytesObject>(std::nullopt));
    auto [written, error] = f.store(empty);
    EXPECT_FALSE(written);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NSInternalInconsistencyException");
    EXPECT_EQ(error->code, -1);

    bool has =
        await<bool>([&](std::function<void(bool)> done) { f.storage->hasEventsForTarget(1003, done); });
    EXPECT_FALSE(has);
    EXPECT_TRUE(fs::is_directory(f.targetFolder(1003)));
    ASSERT_TRUE(f.store(makeEvent("2102", 1003)).first);
    EXPECT_TRUE(
        await<bool>([&](std::function<void(bool)> done) { f.storage->hasEventsForTarget(1003, done); }));
}

TEST_F(FlatFileStorage, DamagedAndForeignEntriesAreSkippedWithoutLosingOtherEvents) {
    auto good = makeEvent("2102", 1001);
    ASSERT_TRUE(f.store(good).first);
    fs::path stored = f.targetFolder(1001) / StorageFixture::fileNames(f.targetFolder(1001)).front();
    std::string bytes = testsupport::readFile(stored);
    // A truncated archive under a valid name, and a folder under an event's name holding an event.
    testsupport::writeFile(f.targetFolder(1001) / "AAAA-3-1900000000-2102",
                           bytes.substr(0, bytes.size() / 2));
    fs::path folderAsEvent = f.targetFolder(1001) / "BBBB-3-1-2102";
    testsupport::writeFile(folderAsEvent / stored.filename(), bytes);

    auto [id, events] = batch(TTRStorageEventSelector::eventSelectorForTarget(1001));
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 1u);
    EXPECT_EQ(events->front()->eventID(), good->eventID());
    EXPECT_FALSE(fs::exists(f.targetFolder(1001) / "AAAA-3-1900000000-2102"))
        << "undecodable events are deleted";
    EXPECT_TRUE(fs::exists(folderAsEvent / stored.filename())) << "a folder is never taken for an event";

    // The sweep also leaves the (long expired) folder and what it holds alone.
    f.storage->checkForExpirations();
    f.drain();
    EXPECT_TRUE(fs::exists(folderAsEvent / stored.filename()));
    EXPECT_EQ(StorageFixture::fileNames(batchRoot()).size(), 1u);
}

TEST_F(FlatFileStorage, AFailedWriteReportsTheErrorAndKeepsEverythingStored) {
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    std::vector<std::string> before = StorageFixture::fileNames(f.targetFolder(1001));
    // A file where the target folder of 1002 should be: nothing can be created inside it.
    testsupport::writeFile(f.targetFolder(1002), "in the way");
    auto [written, error] = f.store(makeEvent("2101", 1002));
    EXPECT_FALSE(written);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)), before);
}

TEST_F(FlatFileStorage, ReturningABatchNeverDeletesEventsThatCouldNotBeMovedBack) {
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    auto [id, events] = batch(TTRStorageEventSelector::eventSelectorForTarget(1001));
    ASSERT_EQ(id, 0);
    std::string batchName = StorageFixture::fileNames(batchRoot()).front();

    // The target folder vanished meanwhile: it is created again and the events come back.
    fs::remove_all(f.targetFolder(1001));
    removeBatch(0, false);
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)).size(), 2u);

    // Now the target's folder cannot take them: the batch stays with its events.
    auto again = batch(TTRStorageEventSelector::eventSelectorForTarget(1001));
    ASSERT_EQ(again.first, 1);
    fs::remove_all(f.targetFolder(1001));
    testsupport::writeFile(f.targetFolder(1001), "in the way");
    removeBatch(1, false);
    std::vector<std::string> kept = StorageFixture::fileNames(batchRoot());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(StorageFixture::fileNames(batchRoot() / kept.front()).size(), 2u);
}

TEST_F(FlatFileStorage, TheBatchCounterRestartsFromDamageAndWrapsBeforeGoingNegative) {
    auto storeCounter = [&](const std::string& bytes) {
        fs::remove(libraryRoot() / kTTRBatchIDCounterKey);
        testsupport::writeFile(libraryRoot() / kTTRBatchIDCounterKey, bytes);
    };
    auto next = [&] {
        auto id = await<std::optional<int64_t>>(
            [&](std::function<void(std::optional<int64_t>)> done) { f.storage->nextBatchID(done); });
        f.drain(); // the new value is written after the id is handed out
        return id;
    };
    int32_t value = 41;
    storeCounter(std::string(reinterpret_cast<const char*>(&value), 4));
    EXPECT_EQ(next(), 41);
    EXPECT_EQ(counterValue(), 42);

    LogCapture log;
    storeCounter("\x07\x00\x00"); // three bytes
    EXPECT_EQ(next(), 0);
    EXPECT_EQ(counterValue(), 1);
    storeCounter(std::string("\x05\x00\x00\x00\x00", 5));
    EXPECT_EQ(next(), 0);
    value = -5;
    storeCounter(std::string(reinterpret_cast<const char*>(&value), 4));
    EXPECT_EQ(next(), 0);
    EXPECT_TRUE(log.contains("restarts at 0"));

    value = INT32_MAX - 1;
    storeCounter(std::string(reinterpret_cast<const char*>(&value), 4));
    EXPECT_EQ(next(), INT32_MAX - 1);
    EXPECT_EQ(counterValue(), 0) << "the counter wraps instead of reaching 2^31-1";
}

TEST_F(FlatFileStorage, TheSizeCacheRecountsInsteadOfUnderflowing) {
    ASSERT_TRUE(f.store(makeEvent("2102", 1001, std::string(500, 'p'))).first);
    f.drain();
    uint64_t real = 0;
    f.storage->storageQueue().sync([&] {
        TTRDirectorySizeTracker& tracker = f.storage->sizeTracker();
        real = tracker.directoryContentSize();
        tracker.fileWasRemovedAtPath(f.targetFolder(1001) / "x", real + 1000);
        EXPECT_EQ(tracker.directoryContentSize(), real);
        tracker.fileWasAddedAtPath("/elsewhere/file", 7);
        EXPECT_EQ(tracker.directoryContentSize(), real);
    });
    EXPECT_GT(real, 500u);
}

TEST_F(FlatFileStorage, LibraryDataRefusesEmptyBytesAndRemovesFiles) {
    auto error = await<std::optional<plat::Error>>([&](std::function<void(std::optional<plat::Error>)> done) {
        f.storage->storeLibraryData(plat::Data{}, "key",
                                    [done](const std::optional<plat::Error>& e) { done(e); });
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NSInternalInconsistencyException");
    EXPECT_FALSE(fs::exists(libraryRoot() / "key"));

    error = await<std::optional<plat::Error>>([&](std::function<void(std::optional<plat::Error>)> done) {
        f.storage->storeLibraryData(plat::toData("value"), "../escape",
                                    [done](const std::optional<plat::Error>& e) { done(e); });
    });
    EXPECT_FALSE(error);
    EXPECT_FALSE(fs::exists(libraryRoot().parent_path() / "escape")) << "a key never leaves the folder";
    error = await<std::optional<plat::Error>>([&](std::function<void(std::optional<plat::Error>)> done) {
        f.storage->removeLibraryDataForKey("../escape",
                                           [done](const std::optional<plat::Error>& e) { done(e); });
    });
    EXPECT_FALSE(error);
    EXPECT_TRUE(StorageFixture::fileNames(libraryRoot()).empty());
}

// What another user left in the store's folders while they were open (a link in place of a folder,
// their folders and files under the names the store uses) is neither followed nor moved nor removed
// by any of the store's operations; a folder of the user's that such a link leads to stays as it was.
TEST(FlatFileStorageLeftovers, EntriesOfAnotherUserAreNeitherFollowedNorMovedNorRemoved) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    testsupport::TempHome home;
    const fs::path events = home.path() / "cache" / "tessera-sdks-events";
    const fs::path store = events / "TTRFlatFileStorage";
    const fs::path elsewhere = home.path() / "Documents";
    const std::string expiredEvent = "AAAA-3-1-2102";
    const std::string expiredBatch = TTRBatchFolderName(1001, 7, plat::Date{1});
    const auto theirLink = [](const fs::path& link, const fs::path& to) {
        fs::create_directories(link.parent_path());
        fs::create_symlink(to, link);
        ASSERT_EQ(::lchown(link.c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
    };
    // Where each plant stands, and how it is made; `elsewhere` holds what the store would act on.
    const std::pair<fs::path, std::function<void()>> cases[] = {
        {events, [&] { theirLink(events, elsewhere); }},
        {store / "ttr_batch_data", [&] { theirLink(store / "ttr_batch_data", elsewhere / "ttr_batch_data"); }},
        {store / "ttr_event_data" / "1001",
         [&] { theirLink(store / "ttr_event_data" / "1001", elsewhere / "ttr_event_data" / "1001"); }},
        {store / "ttr_event_data" / "1001" / expiredEvent,
         [&] { theirLink(store / "ttr_event_data" / "1001" / expiredEvent, elsewhere / "event"); }},
        {store / "ttr_event_data" / "1001" / expiredEvent,
         [&] { testsupport::plantAsAnotherUser(store / "ttr_event_data" / "1001" / expiredEvent, "theirs", 0644); }},
        {store / "ttr_batch_data" / expiredBatch,
         [&] {
             testsupport::plantAsAnotherUser(store / "ttr_batch_data" / expiredBatch / expiredEvent, "theirs", 0644);
             ASSERT_EQ(::chown((store / "ttr_batch_data" / expiredBatch).c_str(), testsupport::kAnotherUser,
                               testsupport::kAnotherUser), 0);
         }},
        {store / "ttr_library_data" / kTTRBatchIDCounterKey,
         [&] { testsupport::plantAsAnotherUser(store / "ttr_library_data" / kTTRBatchIDCounterKey, "7777", 0644); }},
    };
    for (const auto& [planted, plant] : cases) {
        SCOPED_TRACE(planted);
        fs::remove_all(events);
        fs::remove_all(elsewhere);
        const std::string event = "an event";
        testsupport::writeFile(elsewhere / "event", event);
        testsupport::writeFile(elsewhere / "ttr_batch_data" / expiredBatch / expiredEvent, event);
        testsupport::writeFile(elsewhere / "ttr_event_data" / "1001" / expiredEvent, event);
        testsupport::writeFile(elsewhere / "TTRFlatFileStorage" / "ttr_batch_data" / expiredBatch / expiredEvent, event);
        testsupport::writeFile(elsewhere / "TTRFlatFileStorage" / "ttr_event_data" / "1001" / expiredEvent, event);
        fs::create_directories(events.parent_path());
        plant();
        fs::permissions(home.path() / "cache", fs::perms(0700));
        const std::string before = testsupport::treeSnapshot(elsewhere) + testsupport::fileFacts(planted);

        TTRFlatFileStorage::Configuration configuration;
        configuration.rootDirectory = events;
        plat::ManualClock clock{plat::Date{1'700'000'000.0}};
        configuration.clock = &clock;
        auto storage = TTRFlatFileStorage::makeStorage(std::move(configuration));
        await<bool>([&](std::function<void(bool)> done) { storage->hasEventsForTarget(1001, done); });
        using Batch = std::pair<std::optional<int64_t>, std::optional<TTREvents>>;
        const Batch made = await<Batch>([&](std::function<void(Batch)> done) {
            storage->batchWithEventSelector(TTRStorageEventSelector::eventSelectorForTarget(1001), plat::Date{1},
                                            [done](std::optional<int64_t> id, std::optional<TTREvents> taken) {
                                                done(Batch(id, std::move(taken)));
                                            });
        });
        for (bool deleteEvents : {false, true})
            await<bool>([&](std::function<void(bool)> done) {
                storage->removeBatchWithID(made.first.value_or(7), deleteEvents, [done] { done(true); });
            });
        storage->checkForExpirations();
        await<bool>([&](std::function<void(bool)> done) {
            storage->removeLibraryDataForKey(kTTRBatchIDCounterKey, [done](const auto&) { done(true); });
        });
        storage->storageQueue().sync([] {});
        EXPECT_EQ(testsupport::treeSnapshot(elsewhere) + testsupport::fileFacts(planted), before);
    }
}

// Another user's sparse 1 GiB file in an event folder is left aside, and so absent: it is neither
// counted against the size cap nor taken for an event, and a folder holding only such a file has none.
TEST(FlatFileStorageLeftovers, AnotherUsersBigFileNeitherCountsNorFillsTheStore) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants a file of another user
    testsupport::TempHome home;
    StorageFixture f{home.path() / "cache"};
    const fs::path theirs = f.targetFolder(1001) / "AAAA-3-1-2102";
    testsupport::plantAsAnotherUser(theirs, "", 0600);
    ASSERT_EQ(::truncate(theirs.c_str(), 1ll << 30), 0);
    testsupport::plantAsAnotherUser(f.targetFolder(1002) / "BBBB-3-1-2102", "theirs", 0600);

    auto event = makeEvent("2102", 1001);
    const auto [written, error] = f.store(event);
    EXPECT_TRUE(written) << (error ? error->localizedDescription() : "");
    const uint64_t size =
        await<uint64_t>([&](std::function<void(uint64_t)> done) { f.storage->storageSizeWithCallback(done); });
    EXPECT_EQ(size, TTREncodeArchive(*event, fs::path(), nullptr)->size());
    EXPECT_FALSE(await<bool>([&](std::function<void(bool)> done) { f.storage->hasEventsForTarget(1002, done); }));
    using Batch = std::pair<std::optional<int64_t>, std::optional<TTREvents>>;
    const Batch made = await<Batch>([&](std::function<void(Batch)> done) {
        f.storage->batchWithEventSelector(TTRStorageEventSelector::eventSelectorForTarget(1001), plat::Date{2e9},
                                          [done](std::optional<int64_t> id, std::optional<TTREvents> taken) {
                                              done(Batch(id, std::move(taken)));
                                          });
    });
    ASSERT_TRUE(made.second);
    ASSERT_EQ(made.second->size(), 1u);
    EXPECT_EQ(made.second->front()->eventID(), event->eventID());
    EXPECT_EQ(fs::file_size(theirs), 1ull << 30);
}

TEST_F(FlatFileStorage, PromisesCarryBatchesIDsAndTheNoEventsRejection) {
    ASSERT_TRUE(f.store(makeEvent("2102", 1001)).first);
    auto waitFor = [](const TPRPromise::Ptr& promise) {
        auto done = std::make_shared<std::promise<void>>();
        auto future = done->get_future();
        promise->observeOnQueue(
            plat::DispatchQueue::global(), [done](const plat::Object&) { done->set_value(); },
            [done](const plat::Error&) { done->set_value(); });
        EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    };
    TPRPromise::Ptr made = f.storage->batchWithEventSelector(
        TTRStorageEventSelector::eventSelectorForTarget(1001), plat::Date{2'000'000'000.0});
    waitFor(made);
    auto uploadBatch = TTRUploadBatch::fromObject(made->value());
    ASSERT_TRUE(uploadBatch);
    EXPECT_EQ(uploadBatch->batchID(), 0);
    EXPECT_EQ(uploadBatch->events().size(), 1u);

    TPRPromise::Ptr ids = f.storage->batchIDsForTarget(1001);
    waitFor(ids);
    EXPECT_EQ(ids->value(), plat::Object(plat::Object::Array{plat::Object(int64_t(0))}));
    TPRPromise::Ptr otherIDs = f.storage->batchIDsForTarget(1002);
    waitFor(otherIDs);
    EXPECT_EQ(otherIDs->value(), plat::Object(plat::Object::Array{})) << "only other targets have batches";

    TPRPromise::Ptr empty = f.storage->batchWithEventSelector(
        TTRStorageEventSelector::eventSelectorForTarget(1001), plat::Date{2'000'000'000.0});
    waitFor(empty);
    ASSERT_TRUE(empty->isRejected());
    EXPECT_EQ(empty->error()->userInfo["NSLocalizedFailureReason"].string(),
              "There are no events for the selector.");

    TPRPromise::Ptr removed = f.storage->removeAllBatchesForTarget(1001, false);
    waitFor(removed);
    EXPECT_TRUE(removed->isFulfilled());
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)).size(), 1u);
    TPRPromise::Ptr noBatches = f.storage->batchIDsForTarget(1001);
    waitFor(noBatches);
    EXPECT_TRUE(noBatches->value().isAbsent()) << "an empty batch folder answers none";
}

} // namespace

namespace {

using testsupport::FileSizeLimit;

TEST_F(FlatFileStorage, AWriteThatRunsOutOfSpaceFailsWithoutTouchingStoredEvents) {
    auto kept = makeEvent("2102", 1001);
    ASSERT_TRUE(f.store(kept).first);
    std::vector<std::string> before = StorageFixture::fileNames(f.targetFolder(1001));
    std::pair<bool, std::optional<plat::Error>> result;
    {
        FileSizeLimit limit(100);
        result = f.store(makeEvent("2102", 1001, std::string(4096, 'z')));
    }
    EXPECT_FALSE(result.first);
    ASSERT_TRUE(result.second);
    EXPECT_EQ(result.second->domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(result.second->code, EFBIG);
    // No half-written file and no temporary is left; the stored event still decodes.
    EXPECT_EQ(StorageFixture::fileNames(f.targetFolder(1001)), before);
    auto decoded = TTRDecodeArchiveAtPath<TTREvent>(f.targetFolder(1001) / before.front(), nullptr);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isEqual(*kept));
}

} // namespace
