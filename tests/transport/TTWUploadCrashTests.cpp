// An uploading process killed with SIGKILL loses no event: killed after the server's reply but
// before the delivered batch is deleted, the batch stays on disk and the next upload sends it again;
// killed at every stage of an upload, every event is on the server or still on disk.
#include "UploadTestSupport.h"

#include "transport/TTRPlatform.h"

#include "platform/foundation/AtomicFile.h"

#include <csignal>
#include <set>

#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace transporttest;

namespace {

// The payloads of the event files below `folder` (batch folders included).
std::multiset<std::string> payloadsOnDisk(const fs::path& folder) {
    std::multiset<std::string> payloads;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file() || plat::AtomicFile::isTemporaryName(it->path().filename().string()))
            continue;
        if (it->path().parent_path().filename() == "ttr_library_data") continue;
        plat::Error error;
        auto event = TTRDecodeArchiveAtPath<TTREvent>(it->path(), &error);
        EXPECT_TRUE(event) << it->path() << ": " << error.localizedDescription();
        if (event) payloads.insert(plat::toString(*event->serializedDataObjectBytes()));
    }
    return payloads;
}

std::set<std::string> payloadsReceived(standin::StandinServer& server) {
    std::set<std::string> payloads;
    for (const standin::UploadRecord& record : server.uploads().records()) {
        if (!record.decoded || record.status != 200) continue;
        for (const std::string& payload : UploadTest::payloadsOf(nlohmann::json::parse(*record.decoded)))
            payloads.insert(payload);
    }
    return payloads;
}

int killAndReap(const ChildProcess& child) {
    ::kill(child.pid, SIGKILL);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.out);
    return status;
}

class UploadCrash : public UploadTest {
protected:
    std::vector<std::string> storePayloads(const std::string& prefix, int count) {
        std::vector<std::string> payloads;
        for (int i = 0; i < count; ++i) {
            payloads.push_back(prefix + "-" + std::to_string(i));
            storeEvent("2102", 1001, payloads.back());
        }
        storage.drain();
        return payloads;
    }
    ChildProcess spawnUploadChild(const char* mode) {
        return spawnChild(std::getenv("TRANSPORT_UPLOAD_CHILD"),
                          {storage.root.string(), uploadURL(1001), mode});
    }
    fs::path storageFolder() const { return storage.root / "TTRFlatFileStorage"; }
};

} // namespace

TEST_F(UploadCrash, KilledBetweenTheReplyAndTheDeletionTheBatchIsSentAgainNotLost) {
    if (!std::getenv("TRANSPORT_UPLOAD_CHILD")) GTEST_SKIP() << "TRANSPORT_UPLOAD_CHILD is not set";
    std::vector<std::string> stored = storePayloads("event", 20);

    ChildProcess child = spawnUploadChild("pause");
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(ChildOutput(child.out).waitForLine("deleting", kChildTimeout));
    int status = killAndReap(child);
    EXPECT_TRUE(WIFSIGNALED(status));

    // The server has them all, and so has the disk: nothing was deleted before the kill.
    EXPECT_EQ(payloadsReceived(server), std::set<std::string>(stored.begin(), stored.end()));
    EXPECT_EQ(payloadsOnDisk(storageFolder()), std::multiset<std::string>(stored.begin(), stored.end()));
    EXPECT_EQ(storedEvents(1001), 0u) << "they wait in the batch folder";

    // The next attempt gives the batch back to the store and sends it again.
    server.uploads().reset();
    EXPECT_TRUE(
        runOperation(1001, TTRUploadConditionWifiData | TTRUploadConditionHighPriority)->uploadAttempted());
    EXPECT_EQ(payloadsReceived(server), std::set<std::string>(stored.begin(), stored.end()));
    EXPECT_TRUE(payloadsOnDisk(storageFolder()).empty());
}

TEST_F(UploadCrash, KilledAtEveryStageEveryEventIsOnTheServerOrOnDisk) {
    if (!std::getenv("TRANSPORT_UPLOAD_CHILD")) GTEST_SKIP() << "TRANSPORT_UPLOAD_CHILD is not set";
    // An undisturbed upload takes everything off the disk.
    std::vector<std::string> all = storePayloads("undisturbed", 10);
    ChildProcess undisturbed = spawnUploadChild("run");
    ASSERT_GT(undisturbed.pid, 0);
    ASSERT_TRUE(ChildOutput(undisturbed.out).waitForLine("done", kChildTimeout));
    killAndReap(undisturbed);
    EXPECT_TRUE(payloadsOnDisk(storageFolder()).empty());

    // Each child is killed as soon as it reports a stage, in turn: before the upload, while the
    // batch is formed and sent, and while the delivered batch is deleted. The child goes on until
    // the signal arrives, so where it lands varies, but the stage, not a guessed delay, decides
    // whether the kill comes before the end on a machine of any speed.
    const char* const stages[] = {"ready", "batching", "deleting"};
    int interrupted = 0;
    for (int round = 0; round < 6; ++round) {
        std::vector<std::string> added = storePayloads("round" + std::to_string(round), 10);
        all.insert(all.end(), added.begin(), added.end());
        ChildProcess child = spawnUploadChild("run");
        ASSERT_GT(child.pid, 0);
        const char* stage = stages[round % 3];
        const bool reached = ChildOutput(child.out).waitForLine(stage, kChildTimeout);
        killAndReap(child);
        ASSERT_TRUE(reached) << "the child never printed \"" << stage << "\"";

        std::set<std::string> received = payloadsReceived(server);
        std::multiset<std::string> onDisk = payloadsOnDisk(storageFolder());
        for (const std::string& payload : all)
            EXPECT_TRUE(received.count(payload) || onDisk.count(payload))
                << payload << " was lost in round " << round;
        if (!onDisk.empty()) ++interrupted;
    }
    EXPECT_GE(interrupted, 2) << "the kills should land while the child is uploading";

    // Whatever was left goes out with the next upload.
    runOperation(1001, TTRUploadConditionWifiData | TTRUploadConditionHighPriority);
    EXPECT_TRUE(payloadsOnDisk(storageFolder()).empty());
    std::set<std::string> received = payloadsReceived(server);
    for (const std::string& payload : all)
        EXPECT_TRUE(received.count(payload)) << payload;
}
