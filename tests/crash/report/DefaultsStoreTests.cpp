// The crash reporter's defaults store: typed reads, removal, when the file is (not) written, damaged
// files, and a write that fails being tried again.
#include "crash/report/CRWUserDefaults.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/crash/report/ReportTestSupport.h"
#include "tests/support/RootInUserNamespace.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class DefaultsStoreTest : public reporttest::ReportTest {
protected:
    fs::path directory() const { return home_->path() / "data" / "io.velmora_mac" / "com.crashwatch"; }
    fs::path file() const { return directory() / "CRWUserDefaults.plist"; }
    plat::Object onDisk() const { return plat::PropertyList::fromBytes(testsupport::readFile(file())); }
};

TEST_F(DefaultsStoreTest, ValuesReadBackByKindAndNilRemoves) {
    CRWUserDefaults& defaults = CRWUserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults.fileURL(), file());
    defaults.setString("abc", "text");
    defaults.setInteger(2, CRWDataCollectionKey);
    defaults.setBool(true, "flag");
    EXPECT_EQ(defaults.stringForKey("text"), "abc");
    EXPECT_EQ(defaults.integerForKey(CRWDataCollectionKey), 2);
    EXPECT_TRUE(defaults.boolForKey("flag"));
    // A text is neither a number nor a boolean; a number is not text.
    EXPECT_EQ(defaults.integerForKey("text"), 0);
    EXPECT_FALSE(defaults.boolForKey("text"));
    EXPECT_FALSE(defaults.stringForKey(CRWDataCollectionKey));

    defaults.setObject(plat::Object(), "text");
    defaults.setString(std::nullopt, "flag");
    EXPECT_TRUE(defaults.objectForKey("text").isAbsent());
    EXPECT_EQ(defaults.dictionaryRepresentation(),
              (plat::Object::Dict{{CRWDataCollectionKey, plat::Object(int64_t{2})}}));
    // Nothing reaches the disk before a synchronisation.
    EXPECT_FALSE(fs::exists(file()));
    // A value a property list cannot carry is refused, so later writes still succeed.
    defaults.setObject(plat::Object::null(), CRWDataCollectionKey);
    defaults.setObject(plat::Object(std::string("a\0b", 3)), "nul");
    EXPECT_TRUE(defaults.objectForKey("nul").isAbsent());
    defaults.removeAllObjects();
    EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
}

TEST_F(DefaultsStoreTest, TheFirstChangeCreatesTheFoldersAndOnlyChangesAreWritten) {
    EXPECT_FALSE(fs::exists(home_->path() / "data"));
    {
        CRWUserDefaults& defaults = CRWUserDefaults::standardUserDefaults();
        defaults.synchronize();
        EXPECT_FALSE(defaults.synchronizeWroteToDisk());
        EXPECT_FALSE(fs::exists(directory()));

        defaults.setInteger(1, CRWDataCollectionKey);
        defaults.setString("uuid-1", CRWInstallUUIDKey);
        defaults.synchronize();
        EXPECT_TRUE(defaults.synchronizeWroteToDisk());
        EXPECT_EQ(fs::status(directory()).permissions() & fs::perms::all, fs::perms::owner_all);
        EXPECT_EQ(onDisk()[CRWInstallUUIDKey], plat::Object("uuid-1"));

        // Unchanged: the file is not touched (a marker written into it survives).
        testsupport::writeFile(file(), "untouched");
        defaults.synchronize();
        EXPECT_FALSE(defaults.synchronizeWroteToDisk());
        EXPECT_EQ(testsupport::readFile(file()), "untouched");
        testsupport::writeFile(file(),
                               *plat::PropertyList::toXML(plat::Object(defaults.dictionaryRepresentation())));
    }
    // The next launch reads what was written, kinds intact.
    CRWUserDefaults::resetStandardUserDefaultsForTesting();
    CRWUserDefaults& next = CRWUserDefaults::standardUserDefaults();
    EXPECT_EQ(next.integerForKey(CRWDataCollectionKey), 1);
    EXPECT_EQ(next.stringForKey(CRWInstallUUIDKey), "uuid-1");
    next.synchronize();
    EXPECT_FALSE(next.synchronizeWroteToDisk());
}

TEST_F(DefaultsStoreTest, AFailedWriteIsTriedAgainByTheNextSynchronisation) {
    // A file where the store's folder belongs makes the write fail.
    testsupport::writeFile(directory(), "in the way");
    CRWUserDefaults defaults(directory());
    defaults.setString("uuid-2", CRWInstallUUIDKey);
    defaults.synchronize();
    EXPECT_FALSE(defaults.synchronizeWroteToDisk());
    EXPECT_TRUE(logged("Unable to open file for writing at path"));

    // Nothing changed since, but nothing was written either: the next synchronisation writes.
    fs::remove(directory());
    defaults.synchronize();
    EXPECT_TRUE(defaults.synchronizeWroteToDisk());
    EXPECT_EQ(onDisk()[CRWInstallUUIDKey], plat::Object("uuid-2"));
}

TEST_F(DefaultsStoreTest, DamagedFilesLeaveAnEmptyStoreAndAreKeptAside) {
    testsupport::writeFile(file(), "bplist00 damaged beyond reading");
    {
        CRWUserDefaults defaults(directory());
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
        EXPECT_TRUE(logged("Failed to read existing UserDefaults file"));
        defaults.setString("fresh", CRWInstallUUIDKey);
        defaults.synchronize();
        EXPECT_TRUE(defaults.synchronizeWroteToDisk());
    }
    size_t corrupt = 0;
    for (const auto& entry : fs::directory_iterator(directory()))
        if (entry.path().filename().string().find(".corrupt-") != std::string::npos) ++corrupt;
    EXPECT_EQ(corrupt, 1u);

    // A binary list that is not a dictionary, and a damage that once aborted the list reader.
    for (const std::string& bytes :
         {*plat::PropertyList::toBinary(plat::Object("just text")), testsupport::nulKeyPropertyList()}) {
        testsupport::writeFile(file(), bytes);
        CRWUserDefaults defaults(directory());
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
    }

    // A folder in the file's place is removed.
    fs::remove_all(directory());
    fs::create_directories(file() / "inner");
    CRWUserDefaults defaults(directory());
    EXPECT_TRUE(logged("Found directory where file expected. Removing conflicting directory"));
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
}

// The store's folder was open while another user left a folder of theirs in the file's place, then
// became private: it is not removed as the user's own would be, and nothing is written into it. For
// an ordinary user their 0600 file or their socket cannot even be opened: the store still answers
// with the refusal refusalOf gives, and writes over neither.
TEST_F(DefaultsStoreTest, WhatAnotherUserLeftInTheFilesPlaceIsNeitherReadReplacedNorRemoved) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    testsupport::plantAsAnotherUser(file() / "inner", "theirs", 0644);
    ASSERT_EQ(::lchown(file().c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
    fs::permissions(home_->path() / "data", fs::perms(0700));
    std::string before = testsupport::treeSnapshot(directory());
    {
        CRWUserDefaults defaults(directory());
        EXPECT_EQ(defaults.refusal(), plat::paths::refusalOf(file()));
        defaults.setString("fresh", CRWInstallUUIDKey);
        defaults.synchronize();
        EXPECT_FALSE(defaults.synchronizeWroteToDisk());
    }
    EXPECT_EQ(testsupport::treeSnapshot(directory()), before);

    const std::function<void()> plants[] = {
        [&] { testsupport::plantAsAnotherUser(file(), "theirs", 0600); },
        [&] { testsupport::plantSocketAsAnotherUser(file()); },
    };
    for (const auto& plant : plants) {
        fs::remove_all(directory());
        fs::create_directories(directory());
        plant();
        const std::string said = testsupport::asOrdinaryUser(home_->path(), [&] {
            before = testsupport::treeSnapshot(directory()) + testsupport::fileFacts(file());
            const std::string refusal = CRWUserDefaults(directory()).refusal().value_or("not refused");
            CRWUserDefaults defaults(directory());
            defaults.setString("fresh", CRWInstallUUIDKey);
            defaults.synchronize();
            const bool unchanged = testsupport::treeSnapshot(directory()) + testsupport::fileFacts(file()) == before;
            return std::string(refusal == plat::paths::refusalOf(file()).value_or("none") ? "same: " : "differs: ") +
                   refusal + (defaults.synchronizeWroteToDisk() ? "; written" : "; not written") +
                   (unchanged ? "; unchanged" : "; changed");
        });
        EXPECT_EQ(said, "same: " + file().string() + " belongs to another user (uid 4242, this is uid " +
                            std::to_string(testsupport::kOrdinaryUser) +
                            "); Velmora uses only plain files of its own user that no one else may write"
                            "; not written; unchanged");
    }
}

TEST_F(DefaultsStoreTest, ABinaryListIsReadToo) {
    fs::create_directories(directory());
    testsupport::writeFile(
        file(), *plat::PropertyList::toBinary(plat::Object(plat::Object::Dict{
                    {CRWInstallUUIDKey, plat::Object("from binary")}, {"n", plat::Object(int64_t{7})}})));
    CRWUserDefaults defaults(directory());
    EXPECT_EQ(defaults.stringForKey(CRWInstallUUIDKey), "from binary");
    EXPECT_EQ(defaults.integerForKey("n"), 7);
}

TEST_F(DefaultsStoreTest, ValuesMoveOverFromTheStandardDefaults) {
    plat::UserDefaults::resetForTesting();
    plat::UserDefaults::standard().set(CRWDataCollectionKey, plat::Object(int64_t{1}));
    CRWUserDefaults defaults(directory());
    EXPECT_EQ(defaults.objectForKeyByMigratingFromNSUserDefaults(CRWDataCollectionKey),
              plat::Object(int64_t{1}));
    EXPECT_TRUE(plat::UserDefaults::standard().object(CRWDataCollectionKey).isAbsent());
    EXPECT_EQ(onDisk()[CRWDataCollectionKey], plat::Object(int64_t{1}));
    EXPECT_TRUE(defaults.objectForKeyByMigratingFromNSUserDefaults("never.set").isAbsent());
    plat::UserDefaults::resetForTesting();
}

} // namespace
