#include "promises/TPRValue.h"

#include "promises/TPRPromise.h"

TPRValue::TPRValue(plat::Object object) {
    if (const plat::Error* error = TPRErrorFromObject(object))
        value_ = *error;
    else
        value_ = std::move(object);
}

TPRValue::TPRValue(std::shared_ptr<TPRPromise> promise) {
    if (promise) value_ = std::move(promise);
}

const plat::Object& TPRValue::object() const {
    static const auto* const none = new plat::Object();
    const auto* object = std::get_if<plat::Object>(&value_);
    return object ? *object : *none;
}

const plat::Error& TPRValue::error() const {
    static const auto* const none = new plat::Error();
    const auto* error = std::get_if<plat::Error>(&value_);
    return error ? *error : *none;
}

const std::shared_ptr<TPRPromise>& TPRValue::promise() const {
    static const auto* const none = new std::shared_ptr<TPRPromise>();
    const auto* promise = std::get_if<std::shared_ptr<TPRPromise>>(&value_);
    return promise ? *promise : *none;
}

plat::Object TPRErrorObject(const plat::Error& error) {
    return plat::Object(
        plat::Opaque::make<plat::Error>(std::make_shared<const plat::Error>(error), "NSError"));
}

const plat::Error* TPRErrorFromObject(const plat::Object& object) {
    return object.isOpaque() ? object.opaque().as<plat::Error>() : nullptr;
}

std::string TPRErrorDescription(const plat::Error& error) {
    return error.description();
}
