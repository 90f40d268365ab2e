// The keychain store file: a damaged file is refused whole, and an intact one encodes back to
// bytes that decode to the same items.
#include "fuzz/FuzzSupport.h"
#include "platform/security/KeychainFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto items = plat::KeychainFile::decode(std::string(fuzz::text(data, size)));
    if (!items) return 0;
    auto again = plat::KeychainFile::decode(plat::KeychainFile::encode(*items));
    fuzz::check(again.has_value(), "an encoded store decodes");
    fuzz::check(again->size() == items->size(), "an encoded store keeps every item");
    for (size_t i = 0; i < items->size(); ++i) {
        fuzz::check((*again)[i].id == (*items)[i].id, "an item keeps its identity");
        fuzz::check((*again)[i].attributes == (*items)[i].attributes, "an item keeps its attributes");
    }
    return 0;
}
