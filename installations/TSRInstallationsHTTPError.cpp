#include "installations/TSRInstallationsHTTPError.h"

#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Text.h"
#include "utilities/TULStringFormat.h"

namespace {

constexpr const char* kResponseKey = "HTTPResponse";
constexpr const char* kDataKey = "data";

plat::Object responseObject(const plat::HTTPURLResponse& response) {
    plat::Object::Dict headers;
    for (const auto& [name, value] : response.headerFields)
        headers[name] = plat::Object(value);
    return plat::Object::Dict{{"URL", plat::Object(response.url)},
                              {"statusCode", plat::Object(static_cast<int64_t>(response.statusCode))},
                              {"headerFields", plat::Object(std::move(headers))}};
}

std::optional<plat::HTTPURLResponse> responseFrom(const plat::Object& object) {
    const plat::Object& url = object["URL"];
    const plat::Object& status = object["statusCode"];
    if (!url.isString() || !status.isNumber() || !status.number().isInteger()) return std::nullopt;
    const int64_t code = status.number().int64Value();
    if (code < 0 || code > 999) return std::nullopt;
    plat::HTTPURLResponse response;
    response.url = url.string();
    response.statusCode = static_cast<int>(code);
    for (const auto& [name, value] : object["headerFields"].dict())
        if (value.isString()) response.headerFields.emplace_back(name, value.string());
    return response;
}

} // namespace

std::string TSRInstallationsHTTPError::failureReason() const {
    const std::string body = plat::toString(data_);
    return TULStringWithFormat(
        "The server responded with an error: \n - URL: %@ \n - HTTP status code: %ld \n - Response body: %@",
        TULMakeFormatArguments(HTTPResponse_.url, static_cast<int64_t>(HTTPResponse_.statusCode),
                               plat::text::isValidUTF8(body) ? body : std::string("(null)")));
}

plat::Error TSRInstallationsHTTPError::error() const {
    plat::Error error = TSRInstallationsErrorUtil::installationsErrorWithCode(
        TSRInstallationsErrorCodeUnknown, failureReason(), std::nullopt);
    error.userInfo[kTSRInstallationsHTTPErrorKey] =
        plat::Object(plat::Opaque::make<TSRInstallationsHTTPError>(
            std::make_shared<const TSRInstallationsHTTPError>(*this), kClassName));
    return error;
}

std::shared_ptr<const TSRInstallationsHTTPError>
TSRInstallationsHTTPError::fromError(const plat::Error& error) {
    auto found = error.userInfo.find(kTSRInstallationsHTTPErrorKey);
    if (found == error.userInfo.end() || !found->second.isOpaque()) return nullptr;
    const plat::Opaque& opaque = found->second.opaque();
    if (!opaque.as<TSRInstallationsHTTPError>()) return nullptr;
    return std::static_pointer_cast<const TSRInstallationsHTTPError>(opaque.pointer);
}

void TSRInstallationsHTTPError::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encodeObject(responseObject(HTTPResponse_), kResponseKey);
    coder.encodeObject(plat::Object(data_), kDataKey);
}

std::shared_ptr<TSRInstallationsHTTPError>
TSRInstallationsHTTPError::initWithCoder(plat::KeyedUnarchiver& coder) {
    std::optional<plat::HTTPURLResponse> response = responseFrom(coder.decodeObjectForKey(kResponseKey));
    if (!response) return nullptr;
    const plat::Object data = coder.decodeObjectForKey(kDataKey);
    return std::make_shared<TSRInstallationsHTTPError>(std::move(*response),
                                                       data.isData() ? data.data() : plat::Data());
}
