// A storage killed with SIGKILL in the middle of storing leaves only whole event files: a child
// process stores 1,000 events and is killed at a random point of its progress, several times over
// one folder.
#include "TransportTestSupport.h"

#include "transport/TTRPlatform.h"

#include "../support/TestSupport.h"

#include "platform/foundation/AtomicFile.h"

#include <chrono>
#include <cstdlib>
#include <random>

#include <csignal>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace transporttest;

namespace {

ChildProcess spawnStoreChild(const fs::path& root, int count, int size) {
    const char* program = std::getenv("TRANSPORT_STORE_CHILD");
    if (!program) return ChildProcess();
    return spawnChild(program, {root.string(), std::to_string(count), std::to_string(size)});
}

TEST(StorageCrash, KillingTheWriterLeavesOnlyWholeEventFilesThatDecode) {
    if (!std::getenv("TRANSPORT_STORE_CHILD")) GTEST_SKIP() << "TRANSPORT_STORE_CHILD is not set";
    testsupport::TempHome home;
    const fs::path root = home.path() / "events";
    const fs::path folder = root / "TTRFlatFileStorage" / "ttr_event_data" / "1001";

    // Each child is killed as soon as it reports a random number of stored events, so the kill
    // lands inside the writing however fast or slow the machine is: the child goes on storing
    // until the signal arrives. At most half the events are waited for, leaving plenty in flight.
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> storedBeforeKill(0, 500);
    size_t killedMidway = 0, previous = 0;
    for (int round = 0; round < 6; ++round) {
        ChildProcess child = spawnStoreChild(root, 1000, 1024);
        ASSERT_GT(child.pid, 0);
        ChildOutput output(child.out);
        const int reported = storedBeforeKill(random);
        const std::string progress = reported == 0 ? "ready" : "stored " + std::to_string(reported);
        const bool reached = output.waitForLine(progress, kChildTimeout);
        ::kill(child.pid, SIGKILL);
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
        ASSERT_TRUE(reached) << "the child never printed \"" << progress << "\"";
        ASSERT_TRUE(WIFSIGNALED(status) || WIFEXITED(status));

        size_t events = 0;
        for (const std::string& name : StorageFixture::fileNames(folder)) {
            if (plat::AtomicFile::isTemporaryName(name)) continue; // an interrupted write, swept below
            plat::Error error;
            auto event = TTRDecodeArchiveAtPath<TTREvent>(folder / name, &error);
            ASSERT_TRUE(event) << name << ": " << error.localizedDescription();
            EXPECT_EQ(event->serializedDataObjectBytes()->size(), 1024u);
            EXPECT_EQ(name.substr(0, 32), event->eventID());
            ++events;
        }
        EXPECT_GE(events, previous + static_cast<size_t>(reported)) << "no stored event is lost";
        if (events - previous < 1000) ++killedMidway;
        previous = events;
    }
    EXPECT_GE(killedMidway, 3u) << "the kills should land while the child is writing";

    // Opening a storage sweeps what interrupted writes left behind.
    StorageFixture reopened(home.path());
    reopened.drain();
    for (const std::string& name : StorageFixture::fileNames(folder))
        EXPECT_FALSE(plat::AtomicFile::isTemporaryName(name)) << name;
    EXPECT_EQ(StorageFixture::fileNames(folder).size(), previous);
}

} // namespace
