// Shared helpers of the transport tests: payload objects, a storage over a temporary root, waiting
// for storage completions, capturing the transport's log lines and recording delegates.
#pragma once

#include "BytesObject.h"

#include "transport/TTRApplicationProtocol.h"
#include "transport/TTREvent.h"
#include "transport/TTRFlatFileStorage.h"

#include "platform/dispatch/Clock.h"
#include "platform/log/OSLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include <sys/types.h>
#include <vector>

namespace transporttest {

// An event of the mapping id and target carrying `payload`.
std::shared_ptr<TTREvent> makeEvent(const std::string& mappingID, int64_t target,
                                    const std::string& payload = "payload");

// Captures every line the transport (or anything else) writes to the system log.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(const std::string& text) const;

private:
    struct Shared {
        std::mutex lock;
        std::vector<std::string> lines;
    };
    std::shared_ptr<Shared> shared_;
    plat::OSLog::Sink previous_;
};

// Hears the storage's dropped and expired events.
class RecordingDelegate : public TTRStorageDelegate {
public:
    void storage(TTRStorageProtocol&, const std::shared_ptr<TTREvent>& droppedEvent) override;
    void storage(TTRStorageProtocol&, const TTREvents& removedExpiredEvents) override;
    std::mutex lock;
    TTREvents dropped;
    std::vector<TTREvents> expiredCalls;
};

// Counts forced uploads.
class RecordingCoordinator : public TTRUploadCoordinatorProtocol {
public:
    void forceUploadForTarget(int64_t target) override;
    std::mutex lock;
    std::vector<int64_t> forced;
    std::vector<std::string> lifecycle;
    void appWillTerminate(TTRApplicationProtocol&) override;
};

// A storage over <root>/events with a manual clock.
struct StorageFixture {
    explicit StorageFixture(const std::filesystem::path& root,
                            std::shared_ptr<TTRUploadCoordinatorProtocol> coordinator = nullptr);
    std::shared_ptr<TTRFlatFileStorage> storage;
    plat::ManualClock clock{plat::Date{1'700'000'000.0}};
    std::filesystem::path root;

    // Stores and waits; answers (written, error).
    std::pair<bool, std::optional<plat::Error>> store(const std::shared_ptr<TTREvent>& event);
    // Waits until everything queued on the storage so far has run.
    void drain();
    std::filesystem::path targetFolder(int64_t target) const;
    // The regular files of a folder, by name, hidden ones included.
    static std::vector<std::string> fileNames(const std::filesystem::path& folder);
};

// `protoc --decode=<message>` of `bytes` against the .proto file of transport/proto (message names
// with their package, e.g. "ttw.BatchedLogRequest"); `protoc --decode_raw` when `message` is empty.
// Fails the test when protoc fails.
std::string protocDecode(const plat::Data& bytes, const std::string& message, const std::string& protoFile);

// A child process whose standard output the test reads.
struct ChildProcess {
    pid_t pid = -1;
    int out = -1; // the read end of the child's standard output
};
// Starts `program` with `arguments` and the test's environment; pid -1 when it cannot be started.
ChildProcess spawnChild(const std::string& program, const std::vector<std::string>& arguments);
// The child's output, line by line. Every wait is bounded, so a stuck child fails the test
// instead of hanging it.
class ChildOutput {
public:
    explicit ChildOutput(int fd) : fd_(fd) {}
    // Waits until the child printed the line `line`; false when its output ended or `timeout` passed.
    bool waitForLine(const std::string& line, std::chrono::milliseconds timeout);

private:
    int fd_;
    std::string pending_;
};

// Far beyond what a child needs on a loaded machine; only a hung child reaches it.
inline constexpr std::chrono::milliseconds kChildTimeout = std::chrono::minutes(2);

// Runs `start` with a completion and waits for it (at most 10 s).
template <typename T> T await(const std::function<void(std::function<void(T)>)>& start) {
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> future = promise->get_future();
    start([promise](T value) { promise->set_value(std::move(value)); });
    EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    return future.get();
}

} // namespace transporttest
