#include "utilities/TULKeychainStorage.h"
#include "utilities/TULKeychainUtils.h"

#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/SecItem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

struct InstallationRecord final : plat::SecureCoding {
    static constexpr const char* kClassName = "TSRInstallationsStoredItem";
    std::string fid;
    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override {
        coder.encodeObject(plat::Object(fid), "fid");
    }
    static std::shared_ptr<InstallationRecord> initWithCoder(plat::KeyedUnarchiver& coder) {
        plat::Object fid = coder.decodeObjectForKey("fid");
        if (!fid.isString()) return nullptr;
        auto record = std::make_shared<InstallationRecord>();
        record->fid = fid.string();
        return record;
    }
};

struct OtherRecord final : plat::SecureCoding {
    static constexpr const char* kClassName = "TSROther";
    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver&) const override {}
    static std::shared_ptr<OtherRecord> initWithCoder(plat::KeyedUnarchiver&) {
        return std::make_shared<OtherRecord>();
    }
};

std::shared_ptr<const InstallationRecord> record(std::string fid) {
    auto r = std::make_shared<InstallationRecord>();
    r->fid = std::move(fid);
    return r;
}

// The outcome of one handler call, waited for without sleeping.
struct Outcome {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    TULKeychainStorage::Object object;
    std::optional<plat::Error> error;
    std::string queueLabel;

    TULKeychainStorage::ObjectHandler objectHandler() {
        return [this](TULKeychainStorage::Object o, std::optional<plat::Error> e) {
            finish(std::move(o), std::move(e));
        };
    }
    TULKeychainStorage::ErrorHandler errorHandler() {
        return [this](std::optional<plat::Error> e) { finish(nullptr, std::move(e)); };
    }
    void finish(TULKeychainStorage::Object o, std::optional<plat::Error> e) {
        auto current = plat::DispatchQueue::current();
        std::lock_guard guard(mutex);
        object = std::move(o);
        error = std::move(e);
        queueLabel = current ? current->label() : "";
        done = true;
        changed.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
    }
    std::string fid() const {
        auto r = std::dynamic_pointer_cast<const InstallationRecord>(object);
        return r ? r->fid : "";
    }
};

const auto kRecordClass = plat::SecureCodingClass::of<InstallationRecord>();

class TULKeychainStorageTest : public ::testing::Test {
protected:
    void TearDown() override {
        plat::KeychainStore::shared().clearFaults();
        plat::KeychainStore::shared().setObserver(nullptr);
    }
    void get(TULKeychainStorage& storage, const std::string& key, Outcome& out,
             const plat::SecureCodingClass& cls = kRecordClass) {
        storage.getObjectForKey(key, cls, std::nullopt, out.objectHandler());
        out.wait();
    }
    void set(TULKeychainStorage& storage, TULKeychainStorage::Object object, const std::string& key,
             Outcome& out) {
        storage.setObject(std::move(object), key, std::nullopt, out.objectHandler());
        out.wait();
    }

    testsupport::TempHome home;
};

} // namespace

TEST_F(TULKeychainStorageTest, MissingItemsAreNeitherObjectNorError) {
    TULKeychainStorage storage("com.tessera.test.missing");
    Outcome got;
    get(storage, "never", got);
    EXPECT_FALSE(got.object);
    EXPECT_FALSE(got.error);
    EXPECT_EQ(got.queueLabel, "com.tul.KeychainStorage.Keychain");

    Outcome removed;
    storage.removeObjectForKey("never", std::nullopt, removed.errorHandler());
    removed.wait();
    EXPECT_FALSE(removed.error);
}

TEST_F(TULKeychainStorageTest, SetIsCachedAtOnceAndStoredInTheKeychain) {
    TULKeychainStorage storage("com.tessera.test.set");
    plat::Object::Dict added;
    plat::KeychainStore::shared().setObserver(
        [&](plat::KeychainOperation op, const plat::Object::Dict&, const plat::Object::Dict* attributes) {
            if (op == plat::KeychainOperation::Add && attributes) added = *attributes;
        });
    auto original = record("fid-1");
    Outcome stored, cached;
    storage.setObject(original, "installation", std::nullopt, stored.objectHandler());
    // Issued before the write finished, answered from the cache with the very same object.
    storage.getObjectForKey("installation", kRecordClass, std::nullopt, cached.objectHandler());
    cached.wait();
    stored.wait();
    EXPECT_EQ(cached.object, original);
    EXPECT_EQ(cached.queueLabel, "com.tul.KeychainStorage.InMemoryCache");
    EXPECT_EQ(stored.object, original);
    EXPECT_FALSE(stored.error);
    EXPECT_EQ(added[plat::kSecAttrAccessible],
              plat::Object(plat::kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly));
    EXPECT_EQ(added[plat::kSecAttrService], plat::Object("com.tessera.test.set"));
    EXPECT_EQ(added[plat::kSecAttrAccount], plat::Object("installation"));
    EXPECT_EQ(added[kSecUseDataProtectionKeychain], plat::Object(true));

    // After a reset the item is read and unarchived again: an equal but new object.
    storage.resetInMemoryCache();
    Outcome reread;
    get(storage, "installation", reread);
    EXPECT_NE(reread.object, original);
    EXPECT_EQ(reread.fid(), "fid-1");
    EXPECT_EQ(reread.queueLabel, "com.tul.KeychainStorage.InMemoryCache");

    // A second set of the key updates the item.
    Outcome updated, afterUpdate;
    set(storage, record("fid-2"), "installation", updated);
    storage.resetInMemoryCache();
    get(storage, "installation", afterUpdate);
    EXPECT_EQ(afterUpdate.fid(), "fid-2");
}

TEST_F(TULKeychainStorageTest, ObjectsDroppedFromTheCacheAreReadBack) {
    TULKeychainStorage storage("com.tessera.test.many");
    for (int i = 0; i < 8; ++i) {
        Outcome stored;
        set(storage, record("fid-" + std::to_string(i)), "key-" + std::to_string(i), stored);
        ASSERT_FALSE(stored.error);
    }
    EXPECT_EQ(storage.inMemoryCache()->count(), 5u);
    for (int i = 0; i < 8; ++i) {
        Outcome got;
        get(storage, "key-" + std::to_string(i), got);
        EXPECT_EQ(got.fid(), "fid-" + std::to_string(i));
    }
}

TEST_F(TULKeychainStorageTest, WrongClassFailsFromKeychainAndFromCache) {
    TULKeychainStorage storage("com.tessera.test.class");
    Outcome stored, cachedWrong, storedWrong;
    set(storage, record("fid"), "key", stored);
    get(storage, "key", cachedWrong, plat::SecureCodingClass::of<OtherRecord>());
    EXPECT_FALSE(cachedWrong.object);
    ASSERT_TRUE(cachedWrong.error);
    EXPECT_EQ(cachedWrong.error->code, plat::KeyedArchiver::kReadCorruptError);

    storage.resetInMemoryCache();
    get(storage, "key", storedWrong, plat::SecureCodingClass::of<OtherRecord>());
    EXPECT_FALSE(storedWrong.object);
    ASSERT_TRUE(storedWrong.error);
    EXPECT_EQ(storedWrong.error->domain, plat::KeyedArchiver::kErrorDomain);
    EXPECT_NE(storedWrong.error->localizedDescription().find("TSRInstallationsStoredItem"),
              std::string::npos);
}

TEST_F(TULKeychainStorageTest, FailedWriteLeavesNothingBehindInTheCache) {
    TULKeychainStorage storage("com.tessera.test.fail");
    plat::KeychainStore::shared().failNext(plat::errSecIO, plat::KeychainOperation::Add);
    Outcome stored;
    set(storage, record("unsaved"), "key", stored);
    EXPECT_FALSE(stored.object);
    ASSERT_TRUE(stored.error);
    EXPECT_EQ(stored.error->domain, kTULKeychainErrorDomain);
    EXPECT_EQ(stored.error->code, 0);
    EXPECT_EQ(stored.error->userInfo.at(kTULLocalizedFailureReasonErrorKey),
              plat::Object("SecItemAdd (-36)"));

    Outcome got;
    get(storage, "key", got);
    EXPECT_FALSE(got.object);
    EXPECT_FALSE(got.error);
}

TEST_F(TULKeychainStorageTest, ReadThatMissedTheCacheDoesNotBringBackARemovedObject) {
    TULKeychainStorage storage("com.tessera.test.stale");
    Outcome stored;
    set(storage, record("old"), "key", stored);
    storage.resetInMemoryCache();

    // Hold the keychain queue so the read below is still pending when the remove is issued.
    plat::DispatchSemaphore release(0);
    storage.keychainQueue().async([release] { release.wait(); });
    Outcome staleRead, removed, after;
    storage.getObjectForKey("key", kRecordClass, std::nullopt, staleRead.objectHandler());
    storage.removeObjectForKey("key", std::nullopt, removed.errorHandler());
    release.signal();
    staleRead.wait();
    removed.wait();
    EXPECT_EQ(staleRead.fid(), "old"); // what the keychain held when it was read
    get(storage, "key", after);
    EXPECT_FALSE(after.object);
}

TEST(TULKeychainUtils, ErrorsNameTheCallAndStatus) {
    testsupport::TempHome home;
    plat::Object::Dict query{{plat::kSecClass, plat::Object(plat::kSecClassGenericPassword)},
                             {plat::kSecAttrService, plat::Object("svc")},
                             {plat::kSecAttrAccount, plat::Object("acct")}};
    std::optional<plat::Error> error = plat::Error("stale", 1);
    EXPECT_FALSE(TULKeychainUtils::getItemWithQuery(query, &error));
    EXPECT_FALSE(error); // a missing item resets the error

    plat::KeychainStore::shared().failNext(plat::errSecInteractionNotAllowed,
                                           plat::KeychainOperation::CopyMatching);
    EXPECT_FALSE(TULKeychainUtils::getItemWithQuery(query, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo.at(kTULLocalizedFailureReasonErrorKey),
              plat::Object("SecItemCopyMatching (-25308)"));
    // setItem stops at a failed read.
    plat::KeychainStore::shared().failNext(plat::errSecInteractionNotAllowed,
                                           plat::KeychainOperation::CopyMatching);
    EXPECT_FALSE(TULKeychainUtils::setItem(plat::toData("x"), query, &error));
    EXPECT_FALSE(TULKeychainUtils::getItemWithQuery(query));

    EXPECT_TRUE(TULKeychainUtils::setItem(plat::toData("x"), query, &error));
    EXPECT_EQ(TULKeychainUtils::getItemWithQuery(query), plat::toData("x"));
    plat::KeychainStore::shared().failNext(plat::errSecIO, plat::KeychainOperation::Delete);
    EXPECT_FALSE(TULKeychainUtils::removeItemWithQuery(query, &error));
    EXPECT_EQ(error->userInfo.at(kTULLocalizedFailureReasonErrorKey), plat::Object("SecItemDelete (-36)"));
    EXPECT_TRUE(TULKeychainUtils::removeItemWithQuery(query, &error));
    EXPECT_TRUE(TULKeychainUtils::removeItemWithQuery(query, &error));
    EXPECT_FALSE(error);
    plat::KeychainStore::shared().clearFaults();
}
