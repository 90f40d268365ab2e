// A child process for the upload crash test: runs one forced upload of target 1001 from a flat-file
// storage rooted at ROOT to URL, printing "ready" once the storage is open, "batching" when the
// upload starts taking events into a batch, "deleting" when, its reply received, it is about to
// delete the delivered batch, and "done" at the end. With "pause" as MODE it waits to be killed
// after "deleting".
#include "transport/TTRFlatFileStorage.h"
#include "transport/TTRMetricsController.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTWUploader.h"

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// One line for the parent, which kills this process once it has read the line it waits for.
void progress(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// The storage, with the deletion of a delivered batch held back.
class PausingStorage final : public TTRStoragePromiseProtocol {
public:
    PausingStorage(std::shared_ptr<TTRFlatFileStorage> inner, bool pause)
        : inner_(std::move(inner)), pause_(pause) {}

    TPRPromise::Ptr removeBatchWithID(int64_t batchID, bool deleteEvents) override {
        if (deleteEvents) {
            progress("deleting");
            while (pause_)
                std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        return inner_->removeBatchWithID(batchID, deleteEvents);
    }

    void storeEvent(std::shared_ptr<TTREvent> event, TTRStoreCompletion done) override {
        inner_->storeEvent(std::move(event), std::move(done));
    }
    void hasEventsForTarget(int64_t target, std::function<void(bool)> done) override {
        inner_->hasEventsForTarget(target, std::move(done));
    }
    void checkForExpirations() override { inner_->checkForExpirations(); }
    void storageSizeWithCallback(std::function<void(uint64_t)> done) override {
        inner_->storageSizeWithCallback(std::move(done));
    }
    void batchWithEventSelector(const TTRStorageEventSelector& selector, plat::Date expiration,
                                TTRBatchCompletion done) override {
        inner_->batchWithEventSelector(selector, expiration, std::move(done));
    }
    void removeBatchWithID(int64_t batchID, bool deleteEvents, std::function<void()> done) override {
        inner_->removeBatchWithID(batchID, deleteEvents, std::move(done));
    }
    void batchIDsForTarget(int64_t target, TTRBatchIDsCompletion done) override {
        inner_->batchIDsForTarget(target, std::move(done));
    }
    void libraryDataForKey(const std::string& key, TTRLibraryDataFetch fetch,
                           TTRLibraryDataNewValue value) override {
        inner_->libraryDataForKey(key, std::move(fetch), std::move(value));
    }
    void storeLibraryData(const plat::Data& data, const std::string& key, TTRErrorCompletion done) override {
        inner_->storeLibraryData(data, key, std::move(done));
    }
    void removeLibraryDataForKey(const std::string& key, TTRErrorCompletion done) override {
        inner_->removeLibraryDataForKey(key, std::move(done));
    }
    std::shared_ptr<TTRStorageDelegate> delegate() const override { return inner_->delegate(); }
    void setDelegate(const std::shared_ptr<TTRStorageDelegate>& delegate) override {
        inner_->setDelegate(delegate);
    }

    TPRPromise::Ptr batchWithEventSelector(const TTRStorageEventSelector& selector,
                                           plat::Date expiration) override {
        progress("batching");
        return inner_->batchWithEventSelector(selector, expiration);
    }
    TPRPromise::Ptr batchIDsForTarget(int64_t target) override { return inner_->batchIDsForTarget(target); }
    TPRPromise::Ptr removeBatchesWithIDs(const std::vector<int64_t>& ids, bool deleteEvents) override {
        return inner_->removeBatchesWithIDs(ids, deleteEvents);
    }
    TPRPromise::Ptr removeAllBatchesForTarget(int64_t target, bool deleteEvents) override {
        return inner_->removeAllBatchesForTarget(target, deleteEvents);
    }
    TPRPromise::Ptr hasEventsForTarget(int64_t target) override { return inner_->hasEventsForTarget(target); }
    TPRPromise::Ptr fetchStorageMetadata() override { return inner_->fetchStorageMetadata(); }
    TPRPromise::Ptr fetchAndUpdateMetricsWithHandler(const plat::SecureCodingClass& metadataClass,
                                                     TTRMetricsUpdateHandler handler) override {
        return inner_->fetchAndUpdateMetricsWithHandler(metadataClass, std::move(handler));
    }

private:
    std::shared_ptr<TTRFlatFileStorage> inner_;
    bool pause_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ROOT URL pause|run\n", argv[0]);
        return 2;
    }
    TTRFlatFileStorage::Configuration configuration;
    configuration.rootDirectory = argv[1];
    auto storage = std::make_shared<PausingStorage>(TTRFlatFileStorage::makeStorage(std::move(configuration)),
                                                    std::strcmp(argv[3], "pause") == 0);
    auto uploader = TTWUploader::makeUploader(TTRRegistrar::makeRegistrar());
    auto operation = TTWUploadOperation::initWithTarget(
        1001, TTRUploadConditionWifiData | TTRUploadConditionHighPriority, argv[2], uploader->uploadQueue(),
        storage, uploader, TTRMetricsController::initWithStorage(storage));
    progress("ready");
    operation->start();
    operation->waitUntilFinished();
    progress("done");
    return operation->uploadAttempted() ? 0 : 1;
}
