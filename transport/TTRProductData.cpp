#include "transport/TTRProductData.h"

#include "platform/foundation/KeyedUnarchiver.h"
#include "transport/TTRCoding.h"

namespace {
constexpr const char* kProductIDKey = "TTRProductDataProductIDKey";
}

void TTRProductData::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encodeInt64(productID_, kProductIDKey);
}

std::shared_ptr<TTRProductData> TTRProductData::initWithCoder(plat::KeyedUnarchiver& coder) {
    std::optional<int64_t> id;
    if (!ttr_coding::decodeInt64(coder, kProductIDKey, id)) return nullptr;
    if (id && (*id < INT32_MIN || *id > INT32_MAX)) {
        coder.failWithError(plat::KeyedUnarchiver::unexpectedClassError(kProductIDKey, "int64", "int32"));
        return nullptr;
    }
    return initWithProductID(static_cast<int32_t>(id.value_or(0)));
}
