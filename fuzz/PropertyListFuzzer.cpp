// Property lists, binary or XML, as settings, profiles and archives hold them on disk: whatever
// reads must write back in both forms and read again to the same value.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/PropertyList.h"

namespace PropertyList = plat::PropertyList;

namespace {

// A value read from a file may hold something our writer refuses (a NUL in a key, say); then there
// is nothing to compare. The first round trip may settle a date (XML dates carry whole seconds, and
// moving between the 1970 and 2001 epochs can round the last bit); after that, writing and reading
// must be a fixed point.
void roundTrip(const plat::Object& value,
               std::optional<std::string> (*write)(const plat::Object&, plat::Error*)) {
    auto bytes = write(value, nullptr);
    if (!bytes) return;
    plat::Object settled = PropertyList::fromBytes(*bytes);
    fuzz::check(!settled.isAbsent(), "a written property list reads back");
    auto again = write(settled, nullptr);
    fuzz::check(again.has_value(), "a reread property list can be written");
    fuzz::check(PropertyList::fromBytes(*again) == settled, "a settled property list reads back equal");
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
    roundTrip(value, PropertyList::toBinary);
    roundTrip(value, PropertyList::toXML);
    return 0;
}
