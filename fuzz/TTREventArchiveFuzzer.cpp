// The event transport's reads of its own storage: an event file's archive, and the event file and
// batch folder names that selection and expiration parse. The first input byte picks the reader.
#include "transport/TTREvent.h"
#include "transport/TTRPlatform.h"
#include "transport/TTRStorageFileNames.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    plat::Data bytes(data + 1, data + size);
    if (mode % 2 == 0) {
        plat::Error error;
        std::shared_ptr<TTREvent> event = TTRDecodeArchive<TTREvent>(bytes, &error);
        if (event) {
            // A decoded event must survive everything the storage then does with it.
            (void)TTREventFileName(event->eventID(), event->qosTier(), event->expirationDate(),
                                   event->mappingID());
            (void)event->copy();
            (void)TTREncodeArchive(*event, std::filesystem::path(), &error);
        }
    } else {
        std::string_view name(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (auto parts = TTREventComponentsFromFilename(name)) (void)TTRPercentDecode(parts->mappingID);
        (void)TTRBatchComponentsFromFilename(name);
    }
    return 0;
}
