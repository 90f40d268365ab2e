// The optional product id an event carries into its upload's compliance data. Immutable; archived
// with secure coding as "TTRProductData".
#pragma once

#include "platform/foundation/SecureCoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class TTRProductData : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TTRProductData";

    explicit TTRProductData(int32_t productID) : productID_(productID) {}
    static std::shared_ptr<TTRProductData> initWithProductID(int32_t productID) {
        return std::make_shared<TTRProductData>(productID);
    }

    int32_t productID() const { return productID_; }
    std::shared_ptr<TTRProductData> copy() const { return initWithProductID(productID_); }

    bool isEqualToProductData(const TTRProductData* other) const {
        return other != nullptr && (other == this || other->productID_ == productID_);
    }
    // The id sign-extended.
    size_t hash() const { return static_cast<size_t>(static_cast<int64_t>(productID_)); }

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Null (and a failure on the coder) when the stored id is missing or not a 32-bit integer.
    static std::shared_ptr<TTRProductData> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    int32_t productID_;
};
