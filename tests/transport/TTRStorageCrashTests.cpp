// A storage killed with SIGKILL in the middle of storing leaves only whole event files: a child
// process stores 1,000 events and is killed at a random moment, several times over one folder.
#include "TransportTestSupport.h"

#include "transport/TTRPlatform.h"

#include "../support/TestSupport.h"

#include "platform/foundation/AtomicFile.h"

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include <csignal>
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

// Reads the child's output until `word` appeared or the pipe closed.
bool readUntil(int fd, const std::string& word) {
    std::string seen;
    char buffer[64];
    while (seen.find(word) == std::string::npos) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

TEST(StorageCrash, KillingTheWriterLeavesOnlyWholeEventFilesThatDecode) {
    if (!std::getenv("TRANSPORT_STORE_CHILD")) GTEST_SKIP() << "TRANSPORT_STORE_CHILD is not set";
    testsupport::TempHome home;
    const fs::path root = home.path() / "events";
    const fs::path folder = root / "TTRFlatFileStorage" / "ttr_event_data" / "1001";

    // How long an undisturbed run takes, so that the kills land inside the writing.
    auto start = std::chrono::steady_clock::now();
    Child timing = spawnStoreChild(home.path() / "timing", 1000, 1024);
    ASSERT_GT(timing.pid, 0);
    ASSERT_TRUE(readUntil(timing.out, "done"));
    int status = 0;
    ::waitpid(timing.pid, &status, 0);
    ::close(timing.out);
    auto fullRun =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(
        StorageFixture::fileNames(home.path() / "timing" / "TTRFlatFileStorage" / "ttr_event_data" / "1001")
            .size(),
        1000u);

    std::mt19937 random(std::random_device{}());
    size_t killedMidway = 0, previous = 0;
    for (int round = 0; round < 6; ++round) {
        Child child = spawnStoreChild(root, 1000, 1024);
        ASSERT_GT(child.pid, 0);
        ASSERT_TRUE(readUntil(child.out, "ready"));
        std::uniform_int_distribution<long> delay(0, std::max<long>(1, fullRun.count() * 8 / 10));
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
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
        EXPECT_GE(events, previous) << "no stored event is lost";
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
