// Property lists, binary or XML, as settings, profiles and archives hold them on disk: whatever
// reads must write back in both forms and read again to the same value.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/PropertyList.h"

namespace PropertyList = plat::PropertyList;

namespace {

void roundTrip(const plat::Object& value, const std::optional<std::string>& bytes) {
    // A value read from a file may hold something our writer refuses (a NUL in a key, say); then
    // there is nothing to compare.
    if (!bytes) return;
    plat::Error error;
    plat::Object again = PropertyList::fromBytes(*bytes, &error);
    fuzz::check(!again.isAbsent(), "a written property list reads back");
    fuzz::check(again == value, "a written property list reads back equal");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Error error;
    plat::Object value = PropertyList::fromBytes(fuzz::text(data, size), &error);
    if (value.isAbsent()) {
        fuzz::check(error.code == PropertyList::kReadCorruptError,
                    "a refused property list reports corruption");
        return 0;
    }
    roundTrip(value, PropertyList::toBinary(value));
    roundTrip(value, PropertyList::toXML(value));
    return 0;
}
