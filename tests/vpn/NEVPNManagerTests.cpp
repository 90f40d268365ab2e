// The personal-VPN manager over a real profile file in a temporary home: what a save stores and a
// second manager loads, the platform's validation, staleness, removal and the fault hooks.
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/log/OSLog.h"
#include "platform/vpn/NEVPNError.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"
#include "tests/vpn/VPNTestSupport.h"

#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace plat;
using vpntest::run;

namespace {

class NEVPNManagerTest : public ::testing::Test {
protected:
    testsupport::TempHome home_;
    ManualScheduler scheduler_;
    NEVPNManager manager_{scheduler_};
};

int64_t code(const std::optional<Error>& error) {
    return error ? error->code : 0;
}

TEST_F(NEVPNManagerTest, SavedProfileIsWhatASecondManagerLoads) {
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    auto protocol = vpntest::configure(manager_, "vpn.example.net", toData("ref-bytes"));
    protocol->setAuthenticationMethod(NEVPNIKEAuthenticationMethod::None);
    protocol->setUseExtendedAuthentication(true);
    protocol->setRemoteIdentifier("vpn.example.net");
    protocol->IKESecurityAssociationParameters().setEncryptionAlgorithm(
        NEVPNIKEv2EncryptionAlgorithm::AES256GCM);
    protocol->IKESecurityAssociationParameters().setIntegrityAlgorithm(NEVPNIKEv2IntegrityAlgorithm::SHA384);
    protocol->childSecurityAssociationParameters().setDiffieHellmanGroup(
        NEVPNIKEv2DiffieHellmanGroup::Group31);
    protocol->setEnablePFS(true);
    protocol->setIncludeAllNetworks(true);
    protocol->setExcludeLocalNetworks(false);
    auto rule = std::make_shared<NEOnDemandRuleConnect>();
    rule->setInterfaceTypeMatch(NEOnDemandRuleInterfaceType::Any);
    manager_.setOnDemandRules({rule});
    manager_.setOnDemandEnabled(true);
    ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences));

    auto perms = std::filesystem::status(NEVPNProfileFile::profilePath()).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms(0600));
    EXPECT_EQ(NEVPNProfileFile::profilePath().parent_path(), paths::vpnDir());

    NEVPNManager other(scheduler_);
    ASSERT_FALSE(run(other, &NEVPNManager::loadFromPreferences));
    EXPECT_EQ(other.localizedDescription(), "Test VPN");
    EXPECT_TRUE(other.isEnabled());
    EXPECT_TRUE(other.isOnDemandEnabled());
    ASSERT_EQ(other.onDemandRules().size(), 1u);
    EXPECT_EQ(other.onDemandRules()[0]->action(), NEOnDemandRuleAction::Connect);
    auto loaded = std::dynamic_pointer_cast<NEVPNProtocolIKEv2>(other.protocolConfiguration());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->serverAddress(), "vpn.example.net");
    EXPECT_EQ(loaded->remoteIdentifier(), "vpn.example.net");
    EXPECT_EQ(loaded->username(), "user");
    EXPECT_EQ(loaded->passwordReference(), toData("ref-bytes"));
    EXPECT_TRUE(loaded->useExtendedAuthentication());
    EXPECT_EQ(loaded->IKESecurityAssociationParameters().encryptionAlgorithm(),
              NEVPNIKEv2EncryptionAlgorithm::AES256GCM);
    EXPECT_EQ(loaded->IKESecurityAssociationParameters().integrityAlgorithm(),
              NEVPNIKEv2IntegrityAlgorithm::SHA384);
    EXPECT_EQ(loaded->IKESecurityAssociationParameters().diffieHellmanGroup(),
              NEVPNIKEv2DiffieHellmanGroup::Group14)
        << "a parameter never set keeps the default";
    EXPECT_EQ(loaded->childSecurityAssociationParameters().diffieHellmanGroup(),
              NEVPNIKEv2DiffieHellmanGroup::Group31);
    EXPECT_TRUE(loaded->enablePFS());
    EXPECT_TRUE(loaded->includeAllNetworks());
    EXPECT_FALSE(loaded->excludeLocalNetworks());
    EXPECT_EQ(other.connection()->status(), NEVPNStatus::disconnected);
}

TEST_F(NEVPNManagerTest, SaveTakesThePropertiesAtTheTimeOfTheCall) {
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    auto protocol = vpntest::configure(manager_, "first.example.net", std::nullopt);
    manager_.queue().async([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    std::optional<Error> result = Error("pending", 0);
    manager_.saveToPreferences([&](std::optional<Error> e) { result = e; });
    protocol->setServerAddress("second.example.net");
    manager_.queue().sync([] {});
    ASSERT_FALSE(result);
    NEVPNManager other(scheduler_);
    run(other, &NEVPNManager::loadFromPreferences);
    EXPECT_EQ(other.protocolConfiguration()->serverAddress(), "first.example.net");
}

TEST_F(NEVPNManagerTest, SaveValidatesTheProtocolLikeThePlatform) {
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    manager_.setEnabled(true);
    auto error = run(manager_, &NEVPNManager::saveToPreferences);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, NEVPNErrorDomain);
    EXPECT_EQ(error->code, static_cast<int64_t>(NEVPNError::configurationInvalid));

    vpntest::configure(manager_, "", std::nullopt);
    EXPECT_EQ(code(run(manager_, &NEVPNManager::saveToPreferences)), 1);
    manager_.protocolConfiguration()->setServerAddress(std::nullopt);
    EXPECT_EQ(code(run(manager_, &NEVPNManager::saveToPreferences)), 1);
    EXPECT_FALSE(std::filesystem::exists(NEVPNProfileFile::profilePath())) << "nothing stored";
}

TEST_F(NEVPNManagerTest, SavingOverAProfileNotLoadedIsStale) {
    vpntest::configure(manager_, "a.example.net", std::nullopt);
    ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences))
        << "nothing saved yet: nothing to be stale against";
    EXPECT_FALSE(run(manager_, &NEVPNManager::saveToPreferences)) << "its own save keeps it current";

    NEVPNManager other(scheduler_);
    vpntest::configure(other, "b.example.net", std::nullopt);
    EXPECT_EQ(code(run(other, &NEVPNManager::saveToPreferences)), 4)
        << "never loaded over an existing profile";
    ASSERT_FALSE(run(other, &NEVPNManager::loadFromPreferences));
    other.protocolConfiguration()->setServerAddress("b.example.net");
    ASSERT_FALSE(run(other, &NEVPNManager::saveToPreferences));

    EXPECT_EQ(code(run(manager_, &NEVPNManager::saveToPreferences)), 4) << "changed by someone else since";
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    EXPECT_EQ(manager_.protocolConfiguration()->serverAddress(), "b.example.net");
}

TEST_F(NEVPNManagerTest, LoadWithoutProfileGivesDefaultsAndAnInvalidStatus) {
    vpntest::configure(manager_, "a.example.net", std::nullopt);
    manager_.setOnDemandEnabled(true);
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::invalid);
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    EXPECT_FALSE(manager_.protocolConfiguration());
    EXPECT_FALSE(manager_.isEnabled());
    EXPECT_FALSE(manager_.isOnDemandEnabled());
    EXPECT_FALSE(manager_.localizedDescription());
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::invalid);
}

TEST_F(NEVPNManagerTest, DamagedProfileFailsTheLoadAndKeepsTheProperties) {
    std::vector<std::string> errors;
    auto previous = OSLog::setSink([&](const OSLog::Entry& e) {
        if (e.type == OSLogType::Error) errors.push_back(e.text);
    });
    // Truncated XML, and a binary list whose key holds U+0000 (once an abort of the whole process).
    const std::string damaged[] = {
        "<plist><dict><key>enab",
        testsupport::nulKeyPropertyList(),
    };
    for (const std::string& bytes : damaged) {
        std::filesystem::remove_all(paths::vpnDir());
        errors.clear();
        testsupport::writeFile(NEVPNProfileFile::profilePath(), bytes);
        vpntest::configure(manager_, "kept.example.net", std::nullopt);
        EXPECT_EQ(code(run(manager_, &NEVPNManager::loadFromPreferences)), 5);
        EXPECT_EQ(manager_.protocolConfiguration()->serverAddress(), "kept.example.net");

        // The damaged file is kept under another name, with one line saying where.
        std::vector<std::filesystem::path> aside;
        for (const auto& e : std::filesystem::directory_iterator(paths::vpnDir()))
            if (e.path().filename().string().starts_with("profile.plist.corrupt-")) aside.push_back(e.path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(testsupport::readFile(aside[0]), bytes);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(aside[0].string()), std::string::npos) << errors[0];
        EXPECT_FALSE(run(manager_, &NEVPNManager::saveToPreferences)) << "a fresh profile is written";
        EXPECT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
        EXPECT_EQ(testsupport::readFile(aside[0]), bytes);
        EXPECT_EQ(errors.size(), 1u);
    }
    OSLog::setSink(previous);

    // Entries of the wrong kind read as their defaults instead of failing.
    testsupport::writeFile(NEVPNProfileFile::profilePath(),
                           "<plist><dict><key>enabled</key><string>yes</string><key>protocol</key>"
                           "<dict><key>type</key><string>IKEv2</string><key>serverAddress</key><integer>5"
                           "</integer><key>enablePFS</key><true/></dict></dict></plist>");
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    EXPECT_FALSE(manager_.isEnabled());
    auto loaded = std::dynamic_pointer_cast<NEVPNProtocolIKEv2>(manager_.protocolConfiguration());
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loaded->serverAddress());
    EXPECT_TRUE(loaded->enablePFS());
}

TEST_F(NEVPNManagerTest, RemoveDeletesTheProfile) {
    run(manager_, &NEVPNManager::loadFromPreferences);
    vpntest::configure(manager_, "a.example.net", std::nullopt);
    ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences));
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::disconnected);
    ASSERT_FALSE(run(manager_, &NEVPNManager::removeFromPreferences));
    EXPECT_FALSE(std::filesystem::exists(NEVPNProfileFile::profilePath()));
    EXPECT_EQ(manager_.connection()->status(), NEVPNStatus::invalid);
    EXPECT_FALSE(run(manager_, &NEVPNManager::removeFromPreferences)) << "nothing left to remove is no error";
    EXPECT_THROW(manager_.connection()->startVPNTunnel(), Error);
}

TEST_F(NEVPNManagerTest, FaultHooksFailEachOperation) {
    run(manager_, &NEVPNManager::loadFromPreferences);
    vpntest::configure(manager_, "a.example.net", std::nullopt);
    ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences));
    Error forced("Forced", 77);
    manager_.setFaultForTesting(NEVPNManager::Operation::load, forced);
    manager_.setFaultForTesting(NEVPNManager::Operation::save, forced);
    manager_.setFaultForTesting(NEVPNManager::Operation::remove, forced);
    manager_.setFaultForTesting(NEVPNManager::Operation::start, forced);
    manager_.protocolConfiguration()->setServerAddress("changed.example.net");
    EXPECT_EQ(run(manager_, &NEVPNManager::loadFromPreferences), forced);
    EXPECT_EQ(manager_.protocolConfiguration()->serverAddress(), "changed.example.net")
        << "a failed load changes nothing";
    EXPECT_EQ(run(manager_, &NEVPNManager::saveToPreferences), forced);
    EXPECT_EQ(run(manager_, &NEVPNManager::removeFromPreferences), forced);
    EXPECT_TRUE(std::filesystem::exists(NEVPNProfileFile::profilePath()));
    try {
        manager_.connection()->startVPNTunnel();
        ADD_FAILURE() << "start should throw";
    } catch (const Error& e) {
        EXPECT_EQ(e, forced);
    }

    manager_.setFaultForTesting(NEVPNManager::Operation::load, std::nullopt);
    manager_.setFaultForTesting(NEVPNManager::Operation::start, std::nullopt);
    EXPECT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    EXPECT_EQ(manager_.protocolConfiguration()->serverAddress(), "a.example.net");
    EXPECT_NO_THROW(manager_.connection()->startVPNTunnel());
}

} // namespace

namespace {

// What the profile file's operations answer over what is planted, and whether `planted` and the
// user's `documents` stayed as they were.
std::string profileOperations(const std::filesystem::path& planted, const std::filesystem::path& documents) {
    const std::string before = testsupport::fileFacts(planted) + testsupport::treeSnapshot(documents);
    Object::Dict profile;
    const bool refused = NEVPNProfileFile::read(&profile) == NEVPNProfileFile::ReadResult::refused;
    const bool written = NEVPNProfileFile::write({{"enabled", Object(true)}});
    const bool removed = NEVPNProfileFile::remove();
    NEVPNProfileFile::setTunnelUp(true);
    NEVPNProfileFile::setTunnelUp(false);
    const bool unchanged = testsupport::fileFacts(planted) + testsupport::treeSnapshot(documents) == before;
    return std::string(refused ? "refused" : "not refused") + (written ? ", written" : ", not written") +
           (removed ? ", removed" : ", not removed") + (unchanged ? ", unchanged" : ", changed");
}

} // namespace

// Another user's link or folder in place of the VPN folder, left while data/ was open: the profile
// is not read, written or removed through it, and it stays.
TEST(NEVPNProfileFileLeftovers, AFolderOfAnotherUserIsNeitherUsedNorReplaced) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    testsupport::TempHome home;
    const std::filesystem::path folder = paths::vpnDir();
    const std::filesystem::path documents = home.path() / "Documents";
    const std::function<void()> plants[] = {
        [&] { std::filesystem::create_symlink(documents, folder); },
        [&] { testsupport::writeFile(folder / "profile.plist", "<plist><dict/></plist>"); },
    };
    for (const auto& plant : plants) {
        std::filesystem::remove_all(folder.parent_path());
        std::filesystem::create_directories(folder.parent_path());
        std::filesystem::create_directories(documents);
        plant();
        ASSERT_EQ(::lchown(folder.c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
        std::filesystem::permissions(folder.parent_path(), std::filesystem::perms(0700));
        EXPECT_EQ(profileOperations(folder, documents), "refused, not written, not removed, unchanged");
        EXPECT_TRUE(std::filesystem::is_empty(documents));
    }
}

// For an ordinary user another user's 0600 profile cannot be opened, nor can a socket: either is
// refused as paths::refusalOf refuses it, named in the log, and never replaced or removed.
TEST(NEVPNProfileFileLeftovers, AProfileOfAnotherUserGetsOneAnswerWhetherOrNotItOpens) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    testsupport::TempHome home;
    const std::filesystem::path file = NEVPNProfileFile::profilePath();
    testsupport::forEachUnopenableFileOfAnotherUser(file, [&] {
        const std::string before = testsupport::fileFacts(file);
        const std::string said = testsupport::asOrdinaryUser(home.path(), [&] {
            std::string logged;
            OSLog::setSink([&](const OSLog::Entry& e) {
                if (e.type == OSLogType::Error && logged.empty()) logged = e.text;
            });
            const std::string answers = profileOperations(file, home.path() / "none");
            const std::string refusal = paths::refusalOf(file).value_or("not refused");
            return answers + (logged == refusal + "; leaving it untouched" ? "; logged the refusal: " : "; logged: ") +
                   logged;
        });
        EXPECT_EQ(said.substr(0, said.find(": ")),
                  "refused, not written, not removed, unchanged; logged the refusal");
        EXPECT_EQ(said.find(file.string()), said.find(": ") + 2) << said;
        EXPECT_EQ(testsupport::fileFacts(file), before);
    });
}
