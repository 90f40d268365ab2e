// The key-value files of user logging are read back at start-up and on the launch after a crash,
// from a run that may have died mid-write: any bytes in either file must give a key-value view (or
// an empty one), never a crash. The input is split at its first zero byte into the compacted and
// the incremental file.
#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWFileRead.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

plat::Object::Array kvEntries(std::string_view bytes) {
    return CRWFileParseSections(bytes, [](const plat::Object& section) {
        const plat::Object& entry = section[CRWUserLoggingKVSection];
        return entry.isDict() ? entry : plat::Object();
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t split = bytes.find('\0');
    const std::string_view compacted = bytes.substr(0, split);
    const std::string_view incremental =
        split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
    const plat::Object::Array compactedEntries = kvEntries(compacted);
    const plat::Object::Array incrementalEntries = kvEntries(incremental);
    for (bool decode : {false, true}) {
        const plat::Object::Dict view =
            CRWUserLoggingCompactedView(compactedEntries, incrementalEntries, decode);
        for (const auto& [key, value] : view)
            if (!value.isString()) __builtin_trap(); // removed keys never stay in the view
    }
    return 0;
}
