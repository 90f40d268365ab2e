// Keyed archives as the keychain hands them back: a plain root, and a root of a class that
// reads nested objects of its own class, text, numbers and flags.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

namespace {

struct Node final : plat::SecureCoding {
    static constexpr const char* kClassName = "VelmoraFuzzNode";
    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver&) const override {}
    static std::shared_ptr<Node> initWithCoder(plat::KeyedUnarchiver& coder) {
        (void)coder.decodeObjectForKey("name");
        (void)coder.decodeInt64ForKey("count");
        (void)coder.decodeDoubleForKey("weight");
        (void)coder.decodeBoolForKey("flag");
        (void)coder.containsValueForKey("next");
        (void)coder.decodeObjectOfClass<Node>("next");
        (void)coder.decodeObjectOfClass<Node>("other");
        return coder.error() ? nullptr : std::make_shared<Node>();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Data bytes(data, data + size);
    plat::Error error;
    (void)plat::KeyedUnarchiver::unarchivedPlainObject(bytes, &error);
    (void)plat::KeyedUnarchiver::unarchivedObjectOfClass<Node>(bytes, &error);
    return 0;
}
