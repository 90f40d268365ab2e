// The simulated tunnel: start and stop through the statuses a real tunnel shows, timed by a manual
// clock; the password reference decides whether it comes up; notifications carry the connection.
#include "platform/vpn/NEVPNError.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "tests/support/TestSupport.h"
#include "tests/vpn/VPNTestSupport.h"

using namespace plat;
using vpntest::run;
using S = NEVPNStatus;

namespace {

class NEVPNConnectionTest : public ::testing::Test {
protected:
    void save(std::optional<Data> reference, bool enabled = true) {
        run(manager_, &NEVPNManager::loadFromPreferences);
        vpntest::configure(manager_, "vpn.example.net", std::move(reference));
        manager_.setEnabled(enabled);
        ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences));
    }
    void advance(Duration d) {
        scheduler_.advance(d);
        manager_.queue().sync([] {});
    }
    NEVPNConnection& connection() { return *manager_.connection(); }
    // Start and stop take effect on the simulator's queue; flushing it puts the timer on the clock.
    void start() {
        connection().startVPNTunnel();
        manager_.queue().sync([] {});
    }
    void stop() {
        connection().stopVPNTunnel();
        manager_.queue().sync([] {});
    }

    testsupport::TempHome home_;
    ManualScheduler scheduler_;
    NEVPNManager manager_{scheduler_};
    vpntest::StatusRecorder recorder_{manager_};
};

int64_t thrownCode(NEVPNConnection& connection) {
    try {
        connection.startVPNTunnel();
    } catch (const Error& e) {
        EXPECT_EQ(e.domain, NEVPNErrorDomain);
        return e.code;
    }
    return 0;
}

TEST_F(NEVPNConnectionTest, StartNeedsAnEnabledSavedProfile) {
    EXPECT_EQ(thrownCode(connection()), static_cast<int64_t>(NEVPNError::configurationInvalid));
    save(std::nullopt, false);
    EXPECT_EQ(thrownCode(connection()), static_cast<int64_t>(NEVPNError::configurationDisabled));
    EXPECT_EQ(connection().status(), S::disconnected);
}

TEST_F(NEVPNConnectionTest, ResolvablePasswordReferenceConnectsAfterTheConnectTime) {
    save(vpntest::addPassword("io.example.svc", "vpnPassword", "secret"));
    start();
    EXPECT_EQ(connection().status(), S::connecting);
    advance(NEVPNConnection::connectTime - std::chrono::milliseconds(1));
    EXPECT_EQ(connection().status(), S::connecting) << "never early";
    advance(std::chrono::milliseconds(1));
    EXPECT_EQ(connection().status(), S::connected);
    EXPECT_FALSE(connection().lastDisconnectError());
    EXPECT_EQ(recorder_.statuses(), (std::vector<S>{S::disconnected, S::connecting, S::connected}));
    EXPECT_TRUE(recorder_.allOnQueue());

    start(); // already up: nothing happens
    stop();
    EXPECT_EQ(connection().status(), S::disconnecting);
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(recorder_.statuses(), (std::vector<S>{S::disconnected, S::connecting, S::connected,
                                                    S::disconnecting, S::disconnected}));
    stop(); // already down: nothing happens
    EXPECT_EQ(recorder_.statuses().size(), 5u);
}

TEST_F(NEVPNConnectionTest, UnresolvablePasswordReferenceFailsThroughDisconnecting) {
    Data reference = vpntest::addPassword("io.example.svc", "vpnPassword", "secret");
    ASSERT_EQ(SecItemDelete({{kSecClass, kSecClassGenericPassword}, {kSecAttrService, "io.example.svc"}}),
              errSecSuccess);
    save(reference);
    start();
    advance(NEVPNConnection::connectTime);
    EXPECT_EQ(connection().status(), S::disconnecting);
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(recorder_.statuses(),
              (std::vector<S>{S::disconnected, S::connecting, S::disconnecting, S::disconnected}));
    ASSERT_TRUE(connection().lastDisconnectError());
    EXPECT_EQ(connection().lastDisconnectError()->code, static_cast<int64_t>(NEVPNError::connectionFailed));

    save(std::nullopt); // no reference at all fails the same way
    start();
    advance(NEVPNConnection::connectTime);
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(connection().status(), S::disconnected);
}

TEST_F(NEVPNConnectionTest, StopWhileConnectingCancelsTheConnect) {
    save(vpntest::addPassword("io.example.svc", "vpnPassword", "secret"));
    start();
    advance(NEVPNConnection::connectTime / 2);
    stop();
    advance(NEVPNConnection::connectTime * 4);
    EXPECT_EQ(recorder_.statuses(),
              (std::vector<S>{S::disconnected, S::connecting, S::disconnecting, S::disconnected}));
    EXPECT_EQ(scheduler_.pendingCount(), 0u);
}

TEST_F(NEVPNConnectionTest, NotificationCarriesTheConnectionAsItsObject) {
    std::vector<const NEVPNConnection*> senders;
    std::vector<std::string> types;
    auto token = NotificationCenter::defaultCenter().addObserver(
        NEVPNStatusDidChangeNotification, {}, [&](const Notification& n) {
            senders.push_back(n.object.opaque().as<NEVPNConnection>());
            types.push_back(n.object.opaque().typeName);
        });
    connection().setStatusForTesting(static_cast<S>(7));
    manager_.queue().sync([] {});
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], manager_.connection().get());
    EXPECT_EQ(types[0], "NEVPNConnection");
    EXPECT_EQ(static_cast<int64_t>(connection().status()), 7);
}

TEST_F(NEVPNConnectionTest, ASecondManagerSeesTheTunnelUp) {
    save(vpntest::addPassword("io.example.svc", "vpnPassword", "secret"));
    start();
    advance(NEVPNConnection::connectTime);
    ASSERT_EQ(connection().status(), S::connected);

    NEVPNManager other(scheduler_);
    EXPECT_EQ(other.connection()->status(), S::invalid) << "unknown before it loads";
    ASSERT_FALSE(run(other, &NEVPNManager::loadFromPreferences));
    EXPECT_EQ(other.connection()->status(), S::connected);

    stop();
    advance(NEVPNConnection::disconnectTime);
    ASSERT_FALSE(run(other, &NEVPNManager::loadFromPreferences));
    EXPECT_EQ(other.connection()->status(), S::disconnected);
}

TEST_F(NEVPNConnectionTest, RemovingOrDisablingTheProfileTakesTheTunnelDown) {
    save(vpntest::addPassword("io.example.svc", "vpnPassword", "secret"));
    start();
    advance(NEVPNConnection::connectTime);
    manager_.setEnabled(false);
    ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences));
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(connection().status(), S::disconnected);

    manager_.setEnabled(true);
    ASSERT_FALSE(run(manager_, &NEVPNManager::saveToPreferences));
    start();
    advance(NEVPNConnection::connectTime);
    ASSERT_EQ(connection().status(), S::connected);
    ASSERT_FALSE(run(manager_, &NEVPNManager::removeFromPreferences));
    EXPECT_EQ(connection().status(), S::disconnecting);
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(connection().status(), S::invalid);
    EXPECT_FALSE(NEVPNProfileFile::tunnelUp());
}

} // namespace
