// The simulated tunnel: start and stop through the statuses a real tunnel shows, timed by a manual
// clock; the password reference decides whether it comes up; notifications carry the connection.
// A stop it accepted is carried out even when the process ends first: it is on disk at once, the
// next load completes it, and the end of the process can wait for it.
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/log/OSLog.h"
#include "platform/vpn/NEVPNError.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "tests/support/TestSupport.h"
#include "tests/vpn/VPNTestSupport.h"

#include <future>

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
    // Saves a profile whose password resolves and brings the tunnel up.
    void connect() {
        if (!password_) password_ = vpntest::addPassword("io.example.svc", "vpnPassword", "secret");
        save(password_);
        start();
        advance(NEVPNConnection::connectTime);
        ASSERT_EQ(connection().status(), S::connected);
    }
    // What the next launch sees: this process's memory of the tunnel (and its timer) is gone, and
    // a load reads what is on disk.
    NEVPNStatus statusAfterTheProcessEnded() {
        manager_.resetForTesting(scheduler_);
        EXPECT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
        return connection().status();
    }
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
    std::optional<Data> password_;
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
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
}

TEST_F(NEVPNConnectionTest, AStopIsOnDiskAtOnceAndTheNextLoadCompletesIt) {
    ASSERT_NO_FATAL_FAILURE(connect());
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::up);
    stop();
    ASSERT_EQ(connection().status(), S::disconnecting);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::stopping)
        << "recorded by the time anyone hears of the stop";
    const Object recorded = PropertyList::fromBytes(testsupport::readFile(paths::vpnDir() / "tunnel.plist"));
    EXPECT_TRUE(recorded["up"].isNumber() && recorded["up"].number().boolValue())
        << "up, to a reader that knows no stop entry, until the stop is done";

    EXPECT_EQ(statusAfterTheProcessEnded(), S::disconnected);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
    EXPECT_EQ(scheduler_.pendingCount(), 0u);

    // Taking the profile away goes down the same way.
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_FALSE(run(manager_, &NEVPNManager::removeFromPreferences));
    ASSERT_EQ(connection().status(), S::disconnecting);
    EXPECT_EQ(statusAfterTheProcessEnded(), S::invalid);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
}

// A stop that cannot be recorded (the disk is full) is logged, naming the file and why, and goes
// ahead all the same.
TEST_F(NEVPNConnectionTest, AStopThatCannotBeRecordedIsLoggedAndGoesAhead) {
    ASSERT_NO_FATAL_FAILURE(connect());
    std::vector<std::string> errors;
    auto previous = OSLog::setSink([&](const OSLog::Entry& e) {
        if (e.type == OSLogType::Error) errors.push_back(e.text);
    });
    {
        testsupport::FileSizeLimit full(0);
        stop();
    }
    OSLog::setSink(previous);
    ASSERT_EQ(connection().status(), S::disconnecting);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::up) << "left as it was";
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find((paths::vpnDir() / "tunnel.plist").string() + ": File too large"), std::string::npos)
        << errors[0];
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(connection().status(), S::disconnected);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
}

// Guards against a regression: the stop of a tunnel still coming up records nothing, as that tunnel
// was never recorded up. Code from before stops were recorded passes it too, having recorded no
// stop at all; what it catches is a stop recorded whatever the status the tunnel leaves from.
TEST_F(NEVPNConnectionTest, ATunnelStillComingUpIsNeverRecordedUpByItsStop) {
    save(vpntest::addPassword("io.example.svc", "vpnPassword", "secret"));
    start();
    stop();
    ASSERT_EQ(connection().status(), S::disconnecting);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
    EXPECT_EQ(statusAfterTheProcessEnded(), S::disconnected);
}

TEST_F(NEVPNConnectionTest, ATunnelFileOfAnEarlierVersionLoadsAsItSays) {
    ASSERT_NO_FATAL_FAILURE(connect());
    const auto tunnelFile = paths::vpnDir() / "tunnel.plist";
    testsupport::writeFile(tunnelFile, *PropertyList::toXML(Object(Object::Dict{{"up", Object(true)}})));
    EXPECT_EQ(statusAfterTheProcessEnded(), S::connected);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::up);
    testsupport::writeFile(tunnelFile, *PropertyList::toXML(Object(Object::Dict{{"up", Object(false)}})));
    EXPECT_EQ(statusAfterTheProcessEnded(), S::disconnected);

    // A stop this connection is carrying out is left to it: a load meanwhile does not end it early.
    ASSERT_NO_FATAL_FAILURE(connect());
    stop();
    ASSERT_FALSE(run(manager_, &NEVPNManager::loadFromPreferences));
    EXPECT_EQ(connection().status(), S::disconnecting);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::stopping);
    advance(NEVPNConnection::disconnectTime);
    EXPECT_EQ(connection().status(), S::disconnected);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);
}

// The shape of Log out: a save whose completion stops the tunnel, then at once the end of the
// process, which waits for both.
TEST_F(NEVPNConnectionTest, TheEndOfTheProcessWaitsForTheSaveAndTheStopItAsksFor) {
    ASSERT_NO_FATAL_FAILURE(connect());
    manager_.setOnDemandEnabled(false);
    manager_.saveToPreferences([this](std::optional<Error>) { connection().stopVPNTunnel(); });
    std::future<bool> finished = std::async(
        std::launch::async, [this] { return manager_.finishPendingStop(std::chrono::seconds(60)); });
    for (int i = 0; i < 3; ++i)
        manager_.queue().sync([] {});
    ASSERT_EQ(connection().status(), S::disconnecting);
    EXPECT_EQ(finished.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "it cannot be done while the tunnel is going down";
    advance(NEVPNConnection::disconnectTime);
    EXPECT_TRUE(finished.get());
    EXPECT_EQ(connection().status(), S::disconnected);
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::down);

    // With nothing pending it answers at once; a stop that outlasts the limit stays on disk.
    EXPECT_TRUE(manager_.finishPendingStop(Duration::zero()));
    ASSERT_NO_FATAL_FAILURE(connect());
    stop();
    EXPECT_FALSE(manager_.finishPendingStop(std::chrono::milliseconds(20)));
    EXPECT_EQ(NEVPNProfileFile::tunnelState(), NEVPNProfileFile::TunnelState::stopping);
    EXPECT_EQ(statusAfterTheProcessEnded(), S::disconnected);
}

} // namespace
