#include "TransportTestSupport.h"

#include "../support/TestSupport.h"

#include <algorithm>
#include <cstdlib>

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
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    EXPECT_TRUE(source) << "VELMORA_SOURCE_DIR is not set";
    testsupport::TempHome scratch;
    const fs::path input = scratch.path() / "message.bin";
    testsupport::writeFile(input, std::string(bytes.begin(), bytes.end()));
    std::string command = message.empty()
                              ? "protoc --decode_raw"
                              : "protoc --decode=" + message + " -I '" + std::string(source ? source : "") +
                                    "/transport/proto' " + protoFile;
    int status = -1;
    std::string output = testsupport::runCommand(command + " < '" + input.string() + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << command << ": " << output;
    return output;
}

} // namespace transporttest
