// A storage that does nothing and never answers: tests derive from it and override only the calls
// they watch.
#pragma once

#include "transport/TTRStorageProtocol.h"

#include <functional>
#include <memory>
#include <string>

namespace transporttest {

class NullStorage : public TTRStorageProtocol {
public:
    void storeEvent(std::shared_ptr<TTREvent>, TTRStoreCompletion) override {}
    void hasEventsForTarget(int64_t, std::function<void(bool)>) override {}
    void checkForExpirations() override {}
    void storageSizeWithCallback(std::function<void(uint64_t)>) override {}
    void batchWithEventSelector(const TTRStorageEventSelector&, plat::Date, TTRBatchCompletion) override {}
    void removeBatchWithID(int64_t, bool, std::function<void()>) override {}
    void batchIDsForTarget(int64_t, TTRBatchIDsCompletion) override {}
    void libraryDataForKey(const std::string&, TTRLibraryDataFetch, TTRLibraryDataNewValue) override {}
    void storeLibraryData(const plat::Data&, const std::string&, TTRErrorCompletion) override {}
    void removeLibraryDataForKey(const std::string&, TTRErrorCompletion) override {}
    std::shared_ptr<TTRStorageDelegate> delegate() const override { return nullptr; }
    void setDelegate(const std::shared_ptr<TTRStorageDelegate>&) override {}
};

} // namespace transporttest
