#include "TransportTestSupport.h"

#include "../support/TestSupport.h"

#include <algorithm>
#include <cstdlib>

#include <cerrno>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace transporttest {

std::shared_ptr<TTREvent> makeEvent(const std::string& mappingID, int64_t target,
                                    const std::string& payload) {
    std::shared_ptr<TTREvent> event = TTREvent::initWithMappingID(mappingID, target);
    event->setDataObject(std::make_shared<BytesObject>(plat::toData(payload)));
    return event;
}

LogCapture::LogCapture() : shared_(std::make_shared<Shared>()) {
    std::shared_ptr<Shared> shared = shared_;
    previous_ = plat::OSLog::setSink([shared](const plat::OSLog::Entry& entry) {
        std::lock_guard guard(shared->lock);
        shared->lines.push_back(entry.text);
    });
}

LogCapture::~LogCapture() {
    plat::OSLog::setSink(previous_);
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard guard(shared_->lock);
    return shared_->lines;
}

bool LogCapture::contains(const std::string& text) const {
    for (const std::string& line : lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

void RecordingDelegate::storage(TTRStorageProtocol&, const std::shared_ptr<TTREvent>& droppedEvent) {
    std::lock_guard guard(lock);
    dropped.push_back(droppedEvent);
}

void RecordingDelegate::storage(TTRStorageProtocol&, const TTREvents& removedExpiredEvents) {
    std::lock_guard guard(lock);
    expiredCalls.push_back(removedExpiredEvents);
}

void RecordingCoordinator::forceUploadForTarget(int64_t target) {
    std::lock_guard guard(lock);
    forced.push_back(target);
}

void RecordingCoordinator::appWillTerminate(TTRApplicationProtocol&) {
    std::lock_guard guard(lock);
    lifecycle.push_back("terminate");
}

StorageFixture::StorageFixture(const fs::path& rootFolder,
                               std::shared_ptr<TTRUploadCoordinatorProtocol> coordinator)
    : root(rootFolder / "events") {
    TTRFlatFileStorage::Configuration configuration;
    configuration.rootDirectory = root;
    configuration.clock = &clock;
    configuration.uploadCoordinator = std::move(coordinator);
    storage = TTRFlatFileStorage::makeStorage(std::move(configuration));
}

std::pair<bool, std::optional<plat::Error>> StorageFixture::store(const std::shared_ptr<TTREvent>& event) {
    using Result = std::pair<bool, std::optional<plat::Error>>;
    return await<Result>([&](std::function<void(Result)> done) {
        storage->storeEvent(event, [done](bool written, const std::optional<plat::Error>& error) {
            done(Result(written, error));
        });
    });
}

void StorageFixture::drain() {
    storage->storageQueue().sync([] {});
}

fs::path StorageFixture::targetFolder(int64_t target) const {
    return root / "TTRFlatFileStorage" / "ttr_event_data" / std::to_string(target);
}

std::vector<std::string> StorageFixture::fileNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string protocDecode(const plat::Data& bytes, const std::string& message, const std::string& protoFile) {
    return testsupport::protocDecode(std::string(bytes.begin(), bytes.end()), message, "transport/proto",
                                     protoFile);
}

ChildProcess spawnChild(const std::string& program, const std::vector<std::string>& arguments) {
    ChildProcess child;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    child.out = pipeFds[0];
    return child;
}

bool ChildOutput::waitForLine(const std::string& line, std::chrono::milliseconds timeout) {
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

} // namespace transporttest
