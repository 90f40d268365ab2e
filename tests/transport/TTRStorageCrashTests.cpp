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

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace transporttest;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
};

Child spawnStoreChild(const fs::path& root, int count, int size) {
    const char* program = std::getenv("TRANSPORT_STORE_CHILD");
    Child child;
    if (!program) return child;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string rootText = root.string(), countText = std::to_string(count), sizeText = std::to_string(size);
    char* argv[] = {const_cast<char*>(program), rootText.data(), countText.data(), sizeText.data(), nullptr};
    if (posix_spawn(&child.pid, program, &actions, nullptr, argv, environ) != 0) child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    child.out = pipeFds[0];
    return child;
}

// The child's output, line by line. Every wait is bounded, so a stuck child fails the test
// instead of hanging it.
class ChildOutput {
public:
    explicit ChildOutput(int fd) : fd_(fd) {}

    // Waits until the child printed the line `line`; false when its output ended or `timeout` passed.
    bool waitForLine(const std::string& line, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
                const bool found = pending_.compare(0, end, line) == 0 && end == line.size();
                pending_.erase(0, end + 1);
                if (found) return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd readable{fd_, POLLIN, 0};
            const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) return false;
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    std::string pending_;
};

// Far beyond what a child needs on a loaded machine; only a hung child reaches it.
constexpr std::chrono::milliseconds kChildTimeout = std::chrono::minutes(2);

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
        Child child = spawnStoreChild(root, 1000, 1024);
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
