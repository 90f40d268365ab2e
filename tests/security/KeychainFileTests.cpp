// The store's files on disk: modes, one file per service, damage detection and what happens to a
// damaged file.
#include "platform/log/OSLog.h"
#include "platform/foundation/Paths.h"
#include "platform/security/KeychainFile.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/SecAccessControl.h"
#include "platform/security/SecItem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace plat;
namespace fs = std::filesystem;

namespace {

unsigned modeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

OSStatus addItem(const std::string& service, const std::string& account, const std::string& value) {
    return SecItemAdd({{kSecClass, kSecClassGenericPassword},
                       {kSecAttrService, service},
                       {kSecAttrAccount, account},
                       {kSecValueData, toData(value)}},
                      nullptr);
}

Object::Dict serviceQuery(const std::string& service) {
    return {{kSecClass, kSecClassGenericPassword}, {kSecAttrService, service}};
}

TEST(KeychainFileTest, EncodingRoundTripsEveryValueKind) {
    KeychainItem item;
    item.id[0] = 7;
    item.attributes = {
        {kSecClass, kSecClassGenericPassword},
        {kSecValueData, toData(std::string("\0\xff bytes", 8))},
        {kSecAttrSynchronizable, true},
        {kSecAttrPort, int64_t(-5)},
        {"double", 2.5},
        {kSecAttrCreationDate, Date{1700000000.25}},
        {kSecAttrAccessControl, makeSecAccessControlObject({kSecAttrAccessibleAlways, 1u << 31})}};
    auto decoded = KeychainFile::decode(KeychainFile::encode({item, KeychainItem{}}));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 2u);
    EXPECT_EQ((*decoded)[0].id, item.id);
    for (const auto& [key, value] : item.attributes) {
        if (key == kSecAttrAccessControl) {
            ASSERT_NE(secAccessControl((*decoded)[0].attributes.at(key)), nullptr);
            EXPECT_EQ(*secAccessControl((*decoded)[0].attributes.at(key)), *secAccessControl(value));
        } else {
            EXPECT_EQ((*decoded)[0].attributes.at(key), value) << key;
        }
    }
    EXPECT_TRUE((*decoded)[0].attributes.at(kSecAttrSynchronizable).number().isBool());
}

TEST(KeychainFileTest, EveryTruncationAndEverySingleByteChangeIsDetected) {
    KeychainItem item;
    item.attributes = {
        {kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, "a"}, {kSecValueData, toData("v")}};
    std::string bytes = KeychainFile::encode({item});
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(KeychainFile::decode(bytes.substr(0, n))) << n;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string changed = bytes;
        changed[i] = static_cast<char>(changed[i] ^ 0x01);
        EXPECT_FALSE(KeychainFile::decode(changed)) << "byte " << i;
    }
    EXPECT_FALSE(KeychainFile::decode(bytes + "x"));
    EXPECT_FALSE(KeychainFile::decode(std::string(4096, '\xff')));
}

TEST(KeychainFileTest, HostileCountWithValidChecksumIsRejected) {
    // A header that claims four billion items over an empty payload, checksum and all correct.
    std::string bytes = KeychainFile::encode({});
    bytes[8] = bytes[9] = bytes[10] = bytes[11] = '\xff';
    EXPECT_FALSE(KeychainFile::decode(bytes));
}

TEST(KeychainFileTest, FolderAndFileModesAndOneFilePerService) {
    testsupport::TempHome home;
    ::umask(022);
    ASSERT_EQ(addItem("io.velmora.macSA", "token", "t"), errSecSuccess);
    ASSERT_EQ(addItem("io.velmora.macSA", "email", "e"), errSecSuccess);
    ASSERT_EQ(addItem("other service/with slash", "x", "y"), errSecSuccess);

    fs::path dir = paths::keychainDir();
    EXPECT_EQ(modeOf(dir), 0700u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
        EXPECT_EQ(modeOf(entry.path()), 0600u) << entry.path();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".lock", "generic-io.velmora.macSA.items",
                                               "generic-other%20service%2Fwith%20slash.items"}))
        << "no temporary files are left behind";

    // A folder left looser by an older version is tightened on the next call.
    fs::permissions(dir, fs::perms(0755));
    ASSERT_EQ(SecItemCopyMatching(serviceQuery("io.velmora.macSA"), nullptr), errSecSuccess);
    EXPECT_EQ(modeOf(dir), 0700u);

    // Removing the last item of a service removes its file.
    ASSERT_EQ(SecItemDelete(serviceQuery("other service/with slash")), errSecSuccess);
    EXPECT_FALSE(
        fs::exists(KeychainStore::shared().fileFor(kSecClassGenericPassword, "other service/with slash")));
}

TEST(KeychainFileTest, OpeningTheFolderRemovesCopiesLeftByKilledWriters) {
    testsupport::TempHome home;
    const fs::path dir = paths::keychainDir();
    const fs::path leftover = dir / ".generic-io.velmora.macSA.items.tmp-Ab12Cd";
    const fs::path live = dir / ".generic-other.items.tmp-LiVe01";
    testsupport::plantTemporaryFile(leftover, "a whole copy of the secrets", false);
    int fd = testsupport::plantTemporaryFile(live, "being written", true);

    EXPECT_EQ(SecItemCopyMatching(serviceQuery("io.velmora.macSA"), nullptr), errSecItemNotFound);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(live));
    ::close(fd);
}

TEST(KeychainFileTest, DamagedFileAnswersDecodeErrorAndIsKept) {
    testsupport::TempHome home;
    std::vector<std::string> logged;
    OSLog::setSink([&](const OSLog::Entry& e) { logged.push_back(e.text); });
    ASSERT_EQ(addItem("io.velmora.macSA", "token", "tok-secret"), errSecSuccess);
    ASSERT_EQ(addItem("healthy", "x", "y"), errSecSuccess);
    fs::path file = KeychainStore::shared().fileFor(kSecClassGenericPassword, "io.velmora.macSA");
    std::string bytes = testsupport::readFile(file);
    // One byte of the item's random identifier changed: inverted, as setting it to some value
    // would leave it as it was once in 256 runs.
    std::string flipped = bytes;
    flipped[30] = static_cast<char>(~flipped[30]);
    for (const std::string& damaged : {bytes.substr(0, bytes.size() - 3), std::string("garbage"), flipped}) {
        testsupport::writeFile(file, damaged);
        auto q = serviceQuery("io.velmora.macSA");
        EXPECT_EQ(SecItemCopyMatching(q, nullptr), errSecDecode);
        EXPECT_EQ(addItem("io.velmora.macSA", "email", "e"), errSecDecode);
        EXPECT_EQ(SecItemUpdate(q, {{kSecValueData, toData("new")}}), errSecDecode);
        EXPECT_EQ(SecItemDelete(q), errSecDecode);
        EXPECT_EQ(testsupport::readFile(file), damaged) << "the damaged file is never replaced";
        EXPECT_EQ(SecItemCopyMatching(serviceQuery("healthy"), nullptr), errSecSuccess)
            << "other services still work";
        // A search across services cannot vouch for its answer either.
        EXPECT_EQ(SecItemCopyMatching(
                      {{kSecClass, kSecClassGenericPassword}, {kSecMatchLimit, kSecMatchLimitAll}}, nullptr),
                  errSecDecode);
    }
    OSLog::setSink(nullptr);
    ASSERT_FALSE(logged.empty());
    for (const auto& line : logged) {
        EXPECT_EQ(line, "store file " + file.string() + " is damaged; leaving it untouched");
        EXPECT_EQ(line.find("tok-secret"), std::string::npos);
    }
}

TEST(KeychainFileTest, UnusableFolderAnswersNotAvailable) {
    testsupport::TempHome home;
    testsupport::writeFile(paths::keychainDir(), "a file where the folder should be");
    EXPECT_EQ(addItem("svc", "a", "b"), -25291);
    EXPECT_EQ(SecItemCopyMatching(serviceQuery("svc"), nullptr), -25291);
}

} // namespace
